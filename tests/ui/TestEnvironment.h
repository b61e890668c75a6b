// Test main for the desktop program's Qt tests: a private home and settings folder per test.
//
// Every test program runs with HOME and the XDG folders inside one temporary folder, so the
// user's own settings and documents are never read or touched, and every test function gets
// a settings file of its own (UseFreshSettings, called from init()).
#pragma once

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace corvane::test {

inline QTemporaryDir& RunFolder() {
    static QTemporaryDir dir;
    return dir;
}

// Points the settings file at a new, empty temporary folder.
inline void UseFreshSettings() {
    static std::unique_ptr<QTemporaryDir> current;
    current = std::make_unique<QTemporaryDir>(RunFolder().filePath("settings-XXXXXX"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, current->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, current->path());
}

inline void PrepareEnvironment() {
    const QByteArray root = RunFolder().path().toUtf8();
    qputenv("HOME", root + "/home");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    QDir().mkpath(QString::fromUtf8(root + "/home"));
    QDir().mkpath(QString::fromUtf8(root + "/runtime"));
    QFile::setPermissions(QString::fromUtf8(root + "/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace corvane::test

#define CORVANE_TEST_MAIN(TestClass)                   \
    int main(int argc, char** argv) {                  \
        corvane::test::PrepareEnvironment();           \
        QApplication app(argc, argv);                  \
        corvane::test::UseFreshSettings();             \
        TestClass test;                                \
        return QTest::qExec(&test, argc, argv);        \
    }
