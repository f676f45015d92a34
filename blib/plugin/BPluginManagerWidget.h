#ifndef BPLUGINMANAGERWIDGET_H
#define BPLUGINMANAGERWIDGET_H

#include <QWidget>

namespace Ui {
class BPluginManagerWidget;
}

class BPlugin;

// Lists the loaded plugins with their details and log, installs plugin
// files, unloads plugins and edits a plugin's option values.
class BPluginManagerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BPluginManagerWidget(QWidget* parent = nullptr);
    ~BPluginManagerWidget() override;

    // Fills the table from the loaded plugins and selects the first row.
    void refresh();
    // The plugin of the selected row, or null.
    BPlugin* selectedPlugin() const;

private slots:
    void tableWidgetItemSelectionChanged();
    void unloadButtonPressed();
    void loadButtonPressed();
    void getPluginsButtonPressed();
    void settingsButtonPressed();

private:
    Ui::BPluginManagerWidget* ui;
};

#endif // BPLUGINMANAGERWIDGET_H
