#pragma once

#include <QString>

// The running task as the playlist driver knows it.
struct PlaybackState {
    QString taskName;
    QString playMode;     // the task's stored mode text
    int volume = 0;       // applied as master volume at every item
    int itemsStarted = 0; // items started in the current sequential pass
    int itemCount = 0;    // entries of the working list at the last step
    QString currentLabel; // the "当前播放任务:" field
    QString captionText;  // last text given to the caption
};
