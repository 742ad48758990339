#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTest>

// zeb-sim in a child process: its lines, and commands to its standard input.
class SimProcess {
public:
    bool start(const QStringList& arguments) {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine()) {
                m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
            }
        });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(ZEB_SIM), arguments);
        return m_process.waitForStarted(5000) &&
               QTest::qWaitFor([this] { return !m_lines.filter("zeb-sim: ").isEmpty(); }, 10000);
    }

    ~SimProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("quit\n");
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }

    void command(const char* line) {
        m_process.write(line);
        m_process.write("\n");
    }

    QStringList lines() const { return m_lines; }
    void clearLines() { m_lines.clear(); }

private:
    QProcess m_process;
    QStringList m_lines;
};
