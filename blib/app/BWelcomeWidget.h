#ifndef BWELCOMEWIDGET_H
#define BWELCOMEWIDGET_H

#include <QWidget>

class QAction;
class QVBoxLayout;

namespace Ui {
class WelcomeWidget;
}

// The page shown while no file is open: command links for the actions the
// application adds, and the recent-files list as links. A link carries its
// path Base64-encoded, so any path reaches recentFileClicked() unchanged.
class BWelcomeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BWelcomeWidget(QWidget* parent = nullptr);
    ~BWelcomeWidget() override;

    // Adds a command-link button with the action's text, tool tip and icon
    // that triggers the action. (Hides QWidget::addAction on purpose.)
    void addAction(QAction* action);
    // Re-reads the recent-files list from the settings.
    void refreshRecentFiles();

signals:
    void clearRecentFilesClicked();
    void recentFileClicked(const QString& path);

public slots:
    void recentFilesLinkActivated(const QString& link);

private:
    Ui::WelcomeWidget* ui;
    QVBoxLayout* m_actionsLayout = nullptr; // created with the first action
};

#endif // BWELCOMEWIDGET_H
