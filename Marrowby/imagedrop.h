// Which dropped files may be added as photos, and to which device. A drop
// is all or nothing: one file that is not a readable image refuses it.
//
// Threads: pure functions of their arguments and the files' names and kinds
// on disk (nothing is opened or read); main thread.
#pragma once

#include "Marrowkit/model/simulatordevice.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace ImageDrop {

// More files than this in one drop are refused rather than added one by one.
constexpr qsizetype maximumFiles = 100;

// True for an empty list. Otherwise every URL must name a local path, be a
// regular file (after links), and have a type that is an image type (by its
// name; the content is not read, so a FIFO or device file cannot stall us).
bool urlsAreValid(const QList<QUrl> &urls, QString *reason = nullptr);

// The first booted device in list order; nothing when none is booted.
SimulatorDevicePtr firstBootedDevice(const QList<SimulatorDevicePtr> &devices);

// Whether a drag of `urls` over the status area may be dropped: a catalogue,
// a booted device, at least one URL and all of them valid images.
bool canDrop(const std::optional<QList<SimulatorDevicePtr>> &devices, const QList<QUrl> &urls);

} // namespace ImageDrop
