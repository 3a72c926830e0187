// The application delegate launched in the menu world as the program
// launches it, with reveals recorded and alerts collected instead of shown.
#pragma once

#include "menuworld.h"

#include "appdelegate.h"
#include "fileviewer.h"

#include <QStringList>

#include <memory>

class RecordingViewer : public FileViewer
{
public:
    void revealItems(const QList<QUrl> &urls) override { revealed.append(urls); }
    QList<QList<QUrl>> revealed;
};

class LaunchedApplication : public MenuWorld
{
protected:
    void TearDown() override;

    AppDelegate &launch();

    std::shared_ptr<RecordingViewer> m_viewer = std::make_shared<RecordingViewer>();
    std::unique_ptr<AppDelegate> m_delegate;
    QStringList m_alerts;
};
