#include "blib/password/BPasswordGenerator.h"

namespace {

QList<BPasswordGenerator*>& generatorList()
{
    static QList<BPasswordGenerator*> list;
    return list;
}

} // namespace

BPasswordGenerator::BPasswordGenerator(const QString& name)
    : m_name(name)
{
}

BPasswordGenerator::~BPasswordGenerator() = default;

QList<BPasswordGenerator*> passwordGenerators()
{
    return generatorList();
}

void registerPasswordGenerator(BPasswordGenerator* generator)
{
    if (generator)
        generatorList().append(generator);
}

void unregisterPasswordGenerator(BPasswordGenerator* generator)
{
    generatorList().removeOne(generator);
}
