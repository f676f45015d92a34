// The generator dialog: one tab per generator, regeneration, the
// show-password flag, and the password it hands back.
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BSettings.h"
#include "blib/password/BOptionSetWidget.h"
#include "blib/password/BPasswordGeneratorDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "support/UiDriver.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

class tst_BPasswordGeneratorDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void tabsAndFirstPassword();
    void switchingTabsAndChangingOptionsRegenerate();
    void emptySetGivesEmptyPassword();
    void showPasswordFlag();
    void acceptedDialogGivesLastGeneratedPassword();
    void noGeneratorsNoPassword();
};

namespace {

// Counts its passwords: "counted-1", "counted-2", ...
class CountingGenerator : public BPasswordGenerator
{
public:
    CountingGenerator()
        : BPasswordGenerator(QStringLiteral("Counting"))
    {
        m_options.addInt("step", "Step", true, 1, 1, 5);
    }
    QString generatePassword() override { return QStringLiteral("counted-%1").arg(++calls); }
    BOption* options() override { return &m_options; }
    int calls = 0;

private:
    BOption m_options;
};

struct Parts {
    QTabWidget* tabs;
    QLineEdit* password;
    QToolButton* show;
    QPushButton* regenerate;
    QLabel* strength;
};

Parts partsOf(BPasswordGeneratorDialog& dialog)
{
    return { dialog.findChild<QTabWidget*>("tabWidget"), dialog.findChild<QLineEdit*>("passwordLineEdit"),
             dialog.findChild<QToolButton*>("showPasswordButton"),
             dialog.findChild<QPushButton*>("regeneratePasswordButton"),
             dialog.findChild<QWidget*>("passwordStrengthWidget")->findChild<QLabel*>("label") };
}

} // namespace

static BPasswordGeneratorRandom* s_random = nullptr;
static CountingGenerator* s_counting = nullptr;

void tst_BPasswordGeneratorDialog::initTestCase()
{
    applyApplicationIdentity();
    QSettings().remove("app.passwordGenerator.random");
}

void tst_BPasswordGeneratorDialog::init()
{
    QSettings().remove("blib.passwordGeneratorDialog.showPassword");
    s_random = new BPasswordGeneratorRandom;
    s_counting = new CountingGenerator;
    registerPasswordGenerator(s_random);
    registerPasswordGenerator(s_counting);
}

void tst_BPasswordGeneratorDialog::cleanup()
{
    unregisterPasswordGenerator(s_random);
    unregisterPasswordGenerator(s_counting);
    delete s_random;
    delete s_counting;
}

void tst_BPasswordGeneratorDialog::tabsAndFirstPassword()
{
    BPasswordGeneratorDialog dialog;
    const Parts ui = partsOf(dialog);
    QCOMPARE(dialog.objectName(), QStringLiteral("PasswordGeneratorDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Generate Password"));
    QCOMPARE(ui.tabs->count(), 2);
    QCOMPARE(ui.tabs->tabText(0), QStringLiteral("Random"));
    QCOMPARE(ui.tabs->tabText(1), QStringLiteral("Counting"));
    QCOMPARE(qobject_cast<BOptionSetWidget*>(ui.tabs->widget(0))->optionSet(), s_random->options());
    QCOMPARE(ui.tabs->widget(0)->findChildren<QCheckBox*>().size(), 6);
    QCOMPARE(dialog.getCurrentPasswordGenerator(), s_random);

    // Generated once by the random generator, with its strength shown.
    QCOMPARE(s_counting->calls, 0);
    QCOMPARE(dialog.password().size(), 13);
    QCOMPARE(ui.password->text(), dialog.password());
    QVERIFY(ui.strength->text().endsWith(" password.") || ui.strength->text().contains(" ("));
    QVERIFY(ui.strength->text() != QStringLiteral("Password empty."));

    ui.regenerate->click();
    QCOMPARE(dialog.password().size(), 13);
    QCOMPARE(ui.password->text(), dialog.password());
}

void tst_BPasswordGeneratorDialog::switchingTabsAndChangingOptionsRegenerate()
{
    BPasswordGeneratorDialog dialog;
    const Parts ui = partsOf(dialog);
    ui.tabs->setCurrentIndex(1);
    QCOMPARE(dialog.getCurrentPasswordGenerator(), s_counting);
    QCOMPARE(dialog.password(), QStringLiteral("counted-1"));
    QCOMPARE(ui.password->text(), QStringLiteral("counted-1"));

    // An option edit acts on the generator's own set and generates at once.
    ui.tabs->widget(1)->findChild<QSpinBox*>()->setValue(4);
    QCOMPARE(s_counting->options()->findOption("step")->intValue(), 4);
    QCOMPARE(dialog.password(), QStringLiteral("counted-2"));
    QCOMPARE(ui.password->text(), QStringLiteral("counted-2"));
    ui.regenerate->click();
    QCOMPARE(dialog.password(), QStringLiteral("counted-3"));

    ui.tabs->setCurrentIndex(0);
    QCOMPARE(s_counting->calls, 3);
    QCOMPARE(dialog.password().size(), 13);
    // The new length is what OK hands back, without pressing Regenerate.
    ui.tabs->widget(0)->findChild<QSpinBox*>()->setValue(30);
    QCOMPARE(dialog.password().size(), 30);
    QCOMPARE(ui.password->text(), dialog.password());
}

void tst_BPasswordGeneratorDialog::emptySetGivesEmptyPassword()
{
    BPasswordGeneratorDialog dialog;
    const Parts ui = partsOf(dialog);
    const QList<QCheckBox*> flags = ui.tabs->widget(0)->findChildren<QCheckBox*>();
    QVERIFY(!dialog.password().isEmpty());
    for (QCheckBox* flag : flags)
        flag->setChecked(false);
    QVERIFY(dialog.password().isEmpty());
    QVERIFY(ui.password->text().isEmpty());
    QCOMPARE(ui.strength->text(), QStringLiteral("Password empty."));

    // Only numbers: 13 digits.
    flags.at(2)->setChecked(true);
    QCOMPARE(dialog.password().size(), 13);
    for (const QChar c : dialog.password())
        QVERIFY(c.isDigit());
}

void tst_BPasswordGeneratorDialog::showPasswordFlag()
{
    {
        // Absent key: masked, and the flag is written as false.
        BPasswordGeneratorDialog dialog;
        const Parts ui = partsOf(dialog);
        QVERIFY(containsSetting("blib.passwordGeneratorDialog.showPassword"));
        QCOMPARE(boolSetting("blib.passwordGeneratorDialog.showPassword", true), false);
        QCOMPARE(ui.password->echoMode(), QLineEdit::Password);
        QVERIFY(!ui.show->isChecked());

        ui.show->click();
        QCOMPARE(ui.password->echoMode(), QLineEdit::Normal);
        QCOMPARE(boolSetting("blib.passwordGeneratorDialog.showPassword", false), true);
    }
    {
        // The next dialog opens as the last one was left.
        BPasswordGeneratorDialog dialog;
        const Parts ui = partsOf(dialog);
        QVERIFY(ui.show->isChecked());
        QCOMPARE(ui.password->echoMode(), QLineEdit::Normal);
        ui.show->click();
        QCOMPARE(ui.password->echoMode(), QLineEdit::Password);
        QCOMPARE(boolSetting("blib.passwordGeneratorDialog.showPassword", true), false);
    }
}

void tst_BPasswordGeneratorDialog::acceptedDialogGivesLastGeneratedPassword()
{
    BPasswordGeneratorDialog dialog;
    const Parts ui = partsOf(dialog);
    auto* bar = dialog.findChild<QWidget*>("passwordStrengthWidget")->findChild<QProgressBar*>("progressBar");
    QString generated;
    QString generatedBits;
    int stage = 0;
    UiDriver driver([&]() {
        if (!dialog.isVisible())
            return false;
        if (stage == 0) {
            ui.tabs->setCurrentIndex(1);
            generated = ui.password->text();
            generatedBits = bar->text();
            // The user types over the generated password.
            QTest::keyClicks(ui.password, "typed");
            stage = 1;
            return false;
        }
        // The strength follows the typed text ("counted-1typed").
        if (bar->text() != QStringLiteral("37 bits of entropy"))
            return false;
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return true;
    });
    QCOMPARE(execDialog(nullptr, &dialog), int(QDialog::Accepted));
    QVERIFY(driver.isDone());
    QCOMPARE(generated, QStringLiteral("counted-1"));
    QCOMPARE(generatedBits, QStringLiteral("22 bits of entropy"));
    QCOMPARE(ui.password->text(), QStringLiteral("counted-1typed"));
    QCOMPARE(dialog.password(), QStringLiteral("counted-1"));
}

void tst_BPasswordGeneratorDialog::noGeneratorsNoPassword()
{
    cleanup();
    s_random = nullptr;
    s_counting = nullptr;
    BPasswordGeneratorDialog dialog;
    QCOMPARE(dialog.getCurrentPasswordGenerator(), nullptr);
    QVERIFY(dialog.password().isEmpty());
    partsOf(dialog).regenerate->click();
    QVERIFY(dialog.password().isEmpty());
}

QTEST_MAIN(tst_BPasswordGeneratorDialog)
#include "tst_bpasswordgeneratordialog.moc"
