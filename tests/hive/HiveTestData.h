#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

// The bytes of a file in tests/hive/data; a missing file fails the test that asked for it.
inline QByteArray dataFile(const char* name)
{
    QFile file(QStringLiteral(CALTRIX_HIVE_TEST_DATA "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "missing test data " << name;
    return file.readAll();
}
