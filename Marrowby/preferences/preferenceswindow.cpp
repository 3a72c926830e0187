#include "preferenceswindow.h"

#include "preferencesstrings.h"

#include <QTabWidget>
#include <QVBoxLayout>

PreferencesWindow::PreferencesWindow(Options options, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Preferences"));
    m_tabs = new QTabWidget(this);
    m_general = new GeneralPrefsPane(std::move(options.general));
    m_marrowfs = new MarrowfsPrefsPane(std::move(options.marrowfs));
    m_tabs->addTab(m_general, PreferencesStrings::generalTab());
    m_tabs->addTab(m_marrowfs, PreferencesStrings::marrowfsTab());

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    setMinimumWidth(480);

    connect(m_general, &GeneralPrefsPane::xcodeVersionDidChange, this,
            &PreferencesWindow::xcodeVersionDidChange);
    connect(m_tabs, &QTabWidget::currentChanged, this, &PreferencesWindow::tabSelected);
    connect(m_marrowfs, &MarrowfsPrefsPane::contentSizeChanged, this,
            &PreferencesWindow::fitToContent);
    tabSelected(m_tabs->currentIndex());
}

void PreferencesWindow::refresh()
{
    m_general->viewWillAppear();
    m_marrowfs->updateViews();
}

void PreferencesWindow::present()
{
    refresh();
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

void PreferencesWindow::tabSelected(int index)
{
    setWindowTitle(m_tabs->tabText(index));
    // The hidden tabs ask for no room, so the window fits the shown one.
    for (int i = 0; i < m_tabs->count(); ++i) {
        const QSizePolicy::Policy policy =
            i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        m_tabs->widget(i)->setSizePolicy(policy, policy);
    }
    fitToContent();
}

void PreferencesWindow::fitToContent()
{
    QWidget *page = m_tabs->currentWidget();
    QLayout *own = layout();
    if (!page || !own) {
        return;
    }
    const int top = geometry().top();
    // Children shown or hidden inside the pane do not always mark the
    // layouts above them dirty at once: ask them all again.
    if (page->layout()) {
        page->layout()->invalidate();
    }
    m_tabs->updateGeometry();
    own->invalidate();
    own->activate();
    // The tab widget asks for the room of its largest tab; the window
    // wants the shown one's, plus the tab bar and margins around it.
    const int chrome = height() - page->height();
    resize(width(), std::max(minimumHeight(), chrome + page->sizeHint().height()));
    // A resize keeps the top-left corner; said here because the desktop's
    // window manager may not, and the top edge is what the user watches.
    if (isVisible() && geometry().top() != top) {
        move(x(), top);
    }
}
