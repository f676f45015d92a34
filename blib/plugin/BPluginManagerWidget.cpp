#include "blib/plugin/BPluginManagerWidget.h"

#include "ui_BPluginManagerWidget.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/password/BOptionSetDialog.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidgetItem>

namespace {

const QString pluginExtension = QStringLiteral("tvp");

bool hasFactory(const QString& typeId)
{
    for (BPluginFactory* factory : pluginFactories()) {
        if (factory->typeId() == typeId)
            return true;
    }
    return false;
}

} // namespace

BPluginManagerWidget::BPluginManagerWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::BPluginManagerWidget)
{
    ui->setupUi(this);
    QHeaderView* header = ui->tableWidget->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);

    connect(ui->tableWidget, &QTableWidget::itemSelectionChanged, this,
            &BPluginManagerWidget::tableWidgetItemSelectionChanged);
    connect(ui->unloadButton, &QPushButton::clicked, this, &BPluginManagerWidget::unloadButtonPressed);
    connect(ui->loadButton, &QPushButton::clicked, this, &BPluginManagerWidget::loadButtonPressed);
    connect(ui->getPluginsButton, &QPushButton::clicked, this, &BPluginManagerWidget::getPluginsButtonPressed);
    connect(ui->settingsButton, &QPushButton::clicked, this, &BPluginManagerWidget::settingsButtonPressed);
    refresh();
}

BPluginManagerWidget::~BPluginManagerWidget()
{
    delete ui;
}

void BPluginManagerWidget::refresh()
{
    ui->tableWidget->clearContents();
    ui->tableWidget->setRowCount(0);
    const QList<BPlugin*> plugins = loadedPlugins();
    ui->tableWidget->setRowCount(plugins.size());
    for (int row = 0; row < plugins.size(); ++row) {
        BPlugin* plugin = plugins.at(row);
        const QVariant address = QVariant::fromValue(reinterpret_cast<quintptr>(plugin));
        auto* name = new QTableWidgetItem(plugin->icon(), plugin->name());
        name->setData(Qt::UserRole, address);
        auto* version = new QTableWidgetItem(plugin->version());
        version->setData(Qt::UserRole, address);
        ui->tableWidget->setItem(row, 0, name);
        ui->tableWidget->setItem(row, 1, version);
    }
    if (!plugins.isEmpty())
        ui->tableWidget->selectRow(0);
    // Also when nothing was selected before and nothing is now.
    tableWidgetItemSelectionChanged();
}

BPlugin* BPluginManagerWidget::selectedPlugin() const
{
    const QList<QTableWidgetItem*> items = ui->tableWidget->selectedItems();
    if (items.isEmpty())
        return nullptr;
    auto* plugin = reinterpret_cast<BPlugin*>(items.first()->data(Qt::UserRole).value<quintptr>());
    // Only a plugin that is still loaded is handed out.
    return loadedPlugins().contains(plugin) ? plugin : nullptr;
}

void BPluginManagerWidget::tableWidgetItemSelectionChanged()
{
    BPlugin* plugin = selectedPlugin();
    const QList<QWidget*> details { ui->nameLabel,        ui->versionLabel, ui->descriptionLabel,
                                    ui->authorLabel,      ui->logTextBrowser, ui->nameTitleLabel,
                                    ui->versionTitleLabel, ui->descriptionTitleLabel, ui->authorTitleLabel,
                                    ui->logTitleLabel };
    for (QWidget* widget : details)
        widget->setEnabled(plugin != nullptr);
    if (plugin) {
        ui->nameLabel->setText(plugin->name());
        ui->versionLabel->setText(plugin->version());
        ui->descriptionLabel->setText(plugin->description());
        ui->authorLabel->setText(plugin->author());
        ui->logTextBrowser->setPlainText(plugin->log());
    } else {
        const QString none = tr("No plugin selected");
        ui->nameLabel->setText(none);
        ui->versionLabel->setText(none);
        ui->descriptionLabel->setText(none);
        ui->authorLabel->setText(none);
        ui->logTextBrowser->setPlainText(none);
    }
    ui->unloadButton->setEnabled(plugin != nullptr);
    ui->settingsButton->setEnabled(plugin && !plugin->currentOptions().children().isEmpty());
}

void BPluginManagerWidget::unloadButtonPressed()
{
    BPlugin* plugin = selectedPlugin();
    if (!plugin)
        return;
    if (!askWarning(this, tr("Unload Plugin"), tr("Are you sure you want to unload the plugin?"), tr("Unload"),
                    tr("Cancel")))
        return;
    // The question's loop may have let anything happen; unload only what is
    // still loaded.
    if (!loadedPlugins().contains(plugin))
        return refresh();
    removePlugin(plugin);
    refresh();
}

void BPluginManagerWidget::loadButtonPressed()
{
    const QString path = getOpenFileName(this, tr("Select Plugin File"), pluginBrowseFolder(), pluginExtension);
    if (path.isEmpty())
        return;
    setPluginBrowseFolder(QFileInfo(path).absolutePath());
    QString error;
    if (installPlugin(path, error)) {
        refresh();
        return;
    }
    // The two failures without a text of their own still tell the user why.
    if (error.isEmpty()) {
        BPluginMetadata metadata;
        QString ignored;
        if (metadata.load(path, ignored) && !hasFactory(metadata.className))
            error = tr("Plugins of the kind \"%1\" are not supported.").arg(metadata.className);
        else
            error = tr("The file could not be copied into the plugin folder.");
    }
    showError(this, tr("Load Failed"), QStringLiteral("%1 %2").arg(tr("Failed to load the plugin."), error));
    refresh();
}

void BPluginManagerWidget::getPluginsButtonPressed()
{
    openUrl(QString::fromLatin1(BAppInfo::pluginPageAddress));
}

void BPluginManagerWidget::settingsButtonPressed()
{
    BPlugin* plugin = selectedPlugin();
    if (!plugin)
        return;
    BOptionSetDialog dialog(this, plugin->name());
    dialog.setOptions(plugin->currentOptions());
    const bool accepted = execDialog(this, &dialog) == QDialog::Accepted;
    if (accepted && loadedPlugins().contains(plugin))
        plugin->setCurrentOptions(dialog.options());
}
