#pragma once
// What reached a test X display as input: an `xev -root` watching key and button events writes its
// report to a file, and this reads the report back as short lines ("KeyPress Delete", "ButtonPress 1").
// With no window manager and no other windows, the root window gets every key and button event.

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

class RemoteInputLog {
public:
    explicit RemoteInputLog(QString path) : Path(std::move(path)) {}

    const QString& FilePath() const { return Path; }

    QStringList Events() const {
        QFile file(Path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        static const QRegularExpression header(
            QStringLiteral("^(KeyPress|KeyRelease|ButtonPress|ButtonRelease) event"));
        static const QRegularExpression keysym(QStringLiteral("\\(keysym 0x[0-9a-f]+, ([^)]+)\\)"));
        static const QRegularExpression button(QStringLiteral("button (\\d+),"));
        QStringList events;
        QString pending;
        for (const QString& line : QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'))) {
            const auto head = header.match(line);
            if (head.hasMatch()) {
                pending = head.captured(1);
                continue;
            }
            if (pending.isEmpty())
                continue;
            const auto key = keysym.match(line);
            const auto pressed = button.match(line);
            if (key.hasMatch()) {
                events << pending + QLatin1Char(' ') + key.captured(1);
                pending.clear();
            } else if (pressed.hasMatch()) {
                events << pending + QLatin1Char(' ') + pressed.captured(1);
                pending.clear();
            }
        }
        return events;
    }

private:
    QString Path;
};
