#pragma once

#include <QFile>
#include <QProcess>
#include <QStringList>

// The run script, headless, on the binaries of this build, with extra arguments: its output
// lines and exit code.
struct RunScriptResult {
    int exit_code = -1;
    QStringList lines;
};

inline RunScriptResult runScript(const QStringList& arguments) {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(
        QStringLiteral("bash"),
        QStringList{QStringLiteral(ZEB_SOURCE_DIR "/scripts/run"), QStringLiteral("--headless"),
                    QStringLiteral("--bin"), QStringLiteral(ZEB_BUILD_DIR)} +
            arguments);
    RunScriptResult result;
    if (run.waitForFinished(100000)) {
        result.exit_code = run.exitCode();
    }
    result.lines = QString::fromUtf8(run.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return result;
}

// The lines of the table's text that the run saved beside its picture.
inline QStringList tableBeside(const QString& picture) {
    QFile file(picture.left(picture.size() - 4) + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}
