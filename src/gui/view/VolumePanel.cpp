#include "VolumePanel.h"

#include "playback/MasterVolume.h"

#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSlider>

namespace {
constexpr int kVolumeMax = 65535;
} // namespace

VolumePanel::VolumePanel(QSlider *slider, QLabel *label, MasterVolume &volume,
                         QWidget *dialogParent, QLabel *outputLabel)
    : QObject(slider), m_slider(slider), m_label(label), m_outputLabel(outputLabel),
      m_volume(volume), m_dialogParent(dialogParent) {
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setRange(0, kVolumeMax);
        // The steps of a track bar over this range: one unit, a fifth of the range.
        m_slider->setSingleStep(1);
        m_slider->setPageStep(kVolumeMax / 5);
        m_slider->setTracking(true);
    }
    // Drag, keys, page clicks and the wheel all change the value: each sets the volume.
    connect(m_slider, &QSlider::valueChanged, this, &VolumePanel::onSliderMoved);
}

void VolumePanel::synchronise() {
    read(true);
}

void VolumePanel::setOutput(const QString &name) {
    if (m_outputLabel)
        m_outputLabel->setText(QStringLiteral("输出：") + name);
    read(false);
}

void VolumePanel::outsideChange() {
    if (!m_slider->isSliderDown())
        read(false);
}

void VolumePanel::read(bool tellFailure) {
    // The answer comes when the sound server gives it; start-up goes on meanwhile.
    m_moved = false;
    m_volume.GetMasterVolumeThen(this, [this, tellFailure](const MasterVolume::Reading &reading) {
        showReading(reading, tellFailure);
    });
}

void VolumePanel::showReading(const MasterVolume::Reading &reading, bool tellFailure) {
    // Only start-up tells a failed read; later ones (an output going away) keep what shows.
    if (reading.value < 0 && !tellFailure)
        return;
    if (reading.value < 0) {
        // Told without waiting for an answer: start-up must go on to start the schedule even
        // where nobody is there to close the box (a machine running without a screen).
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Horalet"),
                                    reading.failure, QMessageBox::Ok, m_dialogParent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    // A volume set since the question was asked is newer than the answer.
    if (m_moved)
        return;
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(reading.value); // a failed read (-1) stops at the left end
    m_label->setText(QString::number(m_slider->value()));
}

void VolumePanel::showVolume(int value) {
    m_moved = true;
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(value);
    m_label->setText(QString::number(m_slider->value()));
}

void VolumePanel::onSliderMoved(int position) {
    m_moved = true;
    m_label->setText(QString::number(position));
    // Handed on without waiting; while the server is slow, only the latest value is set.
    m_volume.SetMasterVolume(m_slider->value());
}
