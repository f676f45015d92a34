#include "blib/app/BLanguage.h"

#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {

constexpr int englishId = 100;

struct LanguageRow {
    int id;
    const char* name;
    const char* code;
};

constexpr LanguageRow languageTable[] = {
    { englishId, "English", "en_au" },
};

const LanguageRow* findLanguage(int id)
{
    for (const LanguageRow& row : languageTable)
        if (row.id == id)
            return &row;
    return nullptr;
}

int g_currentId = 0;
QTranslator* g_translator = nullptr;
QString g_code = QStringLiteral("en_au");

} // namespace

bool setLanguage(int id)
{
    if (id == g_currentId)
        return true;

    if (g_translator) {
        QCoreApplication::removeTranslator(g_translator);
        delete g_translator;
        g_translator = nullptr;
    }

    if (id == englishId) {
        g_currentId = englishId;
        return true;
    }

    auto* translator = new QTranslator();
    const QString path = resourcePath(id);
    if (!path.isEmpty() && translator->load(path) && QCoreApplication::installTranslator(translator)) {
        const LanguageRow* row = findLanguage(id);
        g_code = row ? QString::fromLatin1(row->code) : QString();
        g_currentId = id;
        g_translator = translator;
        return true;
    }
    delete translator;
    return false;
}

QString languageName(int id)
{
    const LanguageRow* row = findLanguage(id);
    return row ? QString::fromLatin1(row->name) : QStringLiteral("??");
}

int currentLanguage()
{
    return g_currentId;
}

QString languageCode()
{
    return g_code;
}

bool installStartupLanguage()
{
    const QString key = QStringLiteral("blib.language.current");
    if (setLanguage(intSetting(key, englishId)))
        return true;
    setIntSetting(key, englishId);
    return setLanguage(englishId);
}
