#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// Runs work that grows with the user's data (a store read or rewrite) on a thread of its
// own and returns its result, while this thread's event loop goes on: the clock repaints
// and a task due meanwhile starts at its second. User input waits until the work is done,
// so the user cannot start a second change on top of the first. Work that finishes within
// a few milliseconds never enters the loop.
//
// The work must not touch what the loop's events may touch meanwhile: give it copies, and
// put its result in place after the call.
template <class Work> auto waitOffThread(Work &&work) -> std::invoke_result_t<Work &> {
    using Result = std::invoke_result_t<Work &>;
    if constexpr (std::is_void_v<Result>) {
        waitOffThread([&work] {
            work();
            return true;
        });
    } else {
        constexpr int kQuickMs = 2;
        std::optional<Result> result;
        std::unique_ptr<QThread> thread(
            QThread::create([&work, &result] { result.emplace(work()); }));
        QEventLoop loop;
        QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
        thread->start();
        if (!thread->wait(QDeadlineTimer(kQuickMs)))
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        // A quit of the application ends every loop: the work still finishes first.
        thread->wait();
        return std::move(*result);
    }
}

// As waitOffThread; when the work outlasts showAfterMs, window is shown application-modal
// until it ends: it takes the user's input (a cancel button), every other window waits.
template <class Work>
auto waitOffThreadShowing(QWidget &window, int showAfterMs, Work &&work)
    -> std::invoke_result_t<Work &> {
    using Result = std::invoke_result_t<Work &>;
    if constexpr (std::is_void_v<Result>) {
        waitOffThreadShowing(window, showAfterMs, [&work] {
            work();
            return true;
        });
    } else {
        std::optional<Result> result;
        std::unique_ptr<QThread> thread(
            QThread::create([&work, &result] { result.emplace(work()); }));
        QEventLoop loop;
        bool done = false;
        QObject::connect(thread.get(), &QThread::finished, &loop, [&] {
            done = true;
            loop.quit();
        });
        thread->start();
        if (!thread->wait(QDeadlineTimer(2))) {
            QTimer::singleShot(showAfterMs, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
            if (!done) {
                const Qt::WindowModality modality = window.windowModality();
                window.setWindowModality(Qt::ApplicationModal);
                window.show();
                loop.exec();
                window.hide();
                window.setWindowModality(modality);
            }
        }
        thread->wait();
        return std::move(*result);
    }
}
