// Where the volume's one user-facing notice goes: a modal alert with one
// "OK" button. The menu application shows a dialog; the command-line program
// prints to standard error; tests record.
//
// Threads: showAlert is called on the main thread only.
#pragma once

#include <QString>

class VolumeAlertPresenter
{
public:
    virtual ~VolumeAlertPresenter() = default;
    virtual void showAlert(const QString &message) = 0;
};
