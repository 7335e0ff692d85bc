#pragma once
// Dialogs for runs without a user: every message is kept, every question declined.
#include "mainwindow/MainWindowController.h"

#include <QStringList>
#include <mutex>

namespace kadex::test {

class RecordingDialogs final : public IProgramDialogs {
public:
    void Message(QWidget*, Kind kind, const QString& text) override
    {
        std::lock_guard<std::mutex> g(m_);
        (kind == Kind::Error ? errors_ : infos_).append(text);
    }
    QString ChooseItem(QWidget*, const QString& text, const QStringList&) override
    {
        std::lock_guard<std::mutex> g(m_);
        questions_.append(text);
        return {};
    }
    QStringList Errors() const { std::lock_guard<std::mutex> g(m_); return errors_; }
    QStringList Questions() const { std::lock_guard<std::mutex> g(m_); return questions_; }

private:
    mutable std::mutex m_;
    QStringList errors_, infos_, questions_;
};

} // namespace kadex::test
