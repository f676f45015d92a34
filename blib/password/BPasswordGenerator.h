#ifndef BPASSWORDGENERATOR_H
#define BPASSWORDGENERATOR_H

#include <QList>
#include <QString>

class BOption;

// Turns its option set into a new password. The built-in random generator
// and the generators of plugins implement this; every live generator is in
// the process-wide list below, in registration order.
class BPasswordGenerator
{
public:
    explicit BPasswordGenerator(const QString& name);
    virtual ~BPasswordGenerator();

    // A new password, or the empty string when none can be made.
    virtual QString generatePassword() = 0;
    // The generator's options; owned by the generator and edited in place
    // by the generator dialog.
    virtual BOption* options() = 0;

    // The caption of the generator's tab.
    QString name() const { return m_name; }

private:
    QString m_name;
};

// A copy of the process-wide list of live generators (not owned).
QList<BPasswordGenerator*> passwordGenerators();
// Appends `generator` to the list.
void registerPasswordGenerator(BPasswordGenerator* generator);
// Removes the first entry that is `generator`; the object is not deleted.
void unregisterPasswordGenerator(BPasswordGenerator* generator);

#endif // BPASSWORDGENERATOR_H
