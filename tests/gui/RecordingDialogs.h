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
    // The folder a folder dialog hands back (empty: declined); the prompts are kept.
    QString ChooseFolder(QWidget*, const QString& prompt, const QString&) override
    {
        std::lock_guard<std::mutex> g(m_);
        folderPrompts_.append(prompt);
        return folder_;
    }
    // The file the file dialogs hand back (empty: declined) and the answer to Yes/Cancel.
    QString ChooseOpenFile(QWidget*, const QString&, const QString&) override { std::lock_guard<std::mutex> g(m_); return file_; }
    QString ChooseSaveFile(QWidget*, const QString&, const QString&) override { std::lock_guard<std::mutex> g(m_); return file_; }
    bool Confirm(QWidget*, const QString& text) override
    {
        std::lock_guard<std::mutex> g(m_);
        questions_.append(text);
        return yes_;
    }
    // Documents are never shown; the paths are kept and the answer is openResult_.
    bool OpenDocument(const QString& path) override
    {
        std::lock_guard<std::mutex> g(m_);
        opened_.append(path);
        return openResult_;
    }
    void SetOpenResult(bool ok) { std::lock_guard<std::mutex> g(m_); openResult_ = ok; }
    QStringList Opened() const { std::lock_guard<std::mutex> g(m_); return opened_; }
    void SetFile(const QString& file, bool yes) { std::lock_guard<std::mutex> g(m_); file_ = file; yes_ = yes; }
    void SetFolder(const QString& folder) { std::lock_guard<std::mutex> g(m_); folder_ = folder; }
    QStringList FolderPrompts() const { std::lock_guard<std::mutex> g(m_); return folderPrompts_; }
    QStringList Errors() const { std::lock_guard<std::mutex> g(m_); return errors_; }
    QStringList Infos() const { std::lock_guard<std::mutex> g(m_); return infos_; }
    QStringList Questions() const { std::lock_guard<std::mutex> g(m_); return questions_; }

private:
    mutable std::mutex m_;
    QStringList errors_, infos_, questions_, folderPrompts_, opened_;
    QString folder_, file_;
    bool yes_ = false;
    bool openResult_ = true;
};

} // namespace kadex::test
