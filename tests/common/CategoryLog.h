#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// While it lives, the lines logged on one category are kept in lines() instead of printed;
// every other line goes to the handler that was installed before. One at a time.
class CategoryLog {
public:
    explicit CategoryLog(const char* category) {
        s_category = category;
        s_lines.clear();
        s_previous = qInstallMessageHandler(&CategoryLog::handle);
    }
    ~CategoryLog() { qInstallMessageHandler(s_previous); }
    CategoryLog(const CategoryLog&) = delete;
    CategoryLog& operator=(const CategoryLog&) = delete;

    static QStringList& lines() { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (context.category && s_category == context.category) {
            s_lines.append(message);
            return;
        }
        s_previous(type, context, message);
    }

    inline static QByteArray s_category;
    inline static QStringList s_lines;
    inline static QtMessageHandler s_previous = nullptr;
};
