#ifndef BANALYTICSDATAPOINT_H
#define BANALYTICSDATAPOINT_H

#include <QString>
#include <QVariant>

// One counted event of the usage statistics. Points with the same type,
// string and data are merged by recordDataPoint(), which adds to the count.
struct BAnalyticsDataPoint
{
    enum Type {
        Download = 0,
        Install = 1,
        Uninstall = 2,
        Run = 3,
        UseFeature = 4,
        Crash = 5,
    };

    int type = Run;
    QString string;
    QVariant data;
    int count = 1;

    // The type's name in the uploaded document ("install", "run", ...);
    // empty for an unknown type.
    static QString typeName(int type);

    bool sameEvent(const BAnalyticsDataPoint& other) const
    {
        return type == other.type && string == other.string && data == other.data;
    }
};

#endif // BANALYTICSDATAPOINT_H
