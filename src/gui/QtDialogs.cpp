#include "gui/QtDialogs.h"

#include <QAbstractFileIconProvider>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QStringList>
#include <QVBoxLayout>
#include <vector>

#include "db/TextEncoding.h"

namespace vireo::gui {

namespace {

std::vector<std::string> SplitAtBars(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) return parts;
        start = bar + 1;
    }
}

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

/// The caption of a message box of `kind`.
QString MessageCaption(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return QStringLiteral("Error");
        case MessageKind::Warning:
            return QStringLiteral("Warning");
        case MessageKind::Information:
            return QStringLiteral("Information");
        case MessageKind::Confirmation:
            return QStringLiteral("Confirm");
    }
    return {};
}

/// Icons and type names of the files a file dialog lists, from their names
/// alone. Qt's own providers work out a file's type by reading its first bytes;
/// closing the descriptor that read them drops every POSIX lock the process
/// holds on the file, the SQLite library's locks for an open connection
/// included, and the dialog lists the folder of the database as readily as any.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) return icon(QAbstractFileIconProvider::Drive);
        return icon(info.isDir() ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile()) return QAbstractFileIconProvider::type(info);  // reads no file
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }
};

std::optional<std::string> RunFileDialog(QWidget* owner, const FileDialogRequest& request,
                                         QFileDialog::AcceptMode mode) {
    NameOnlyIconProvider icons;  // outlives the dialog that uses it
    // No folder named: the current one, not the folder Qt remembers from the
    // dialog shown last.
    const QString folder = request.startFolder.empty() ? QDir::currentPath() : FromPath(request.startFolder);
    QFileDialog dialog(owner, FromBytes(request.title), folder);
    // A platform's own dialog would guess the types of the listed files by
    // reading them, out of reach of the provider.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Overwriting is asked by the program itself, with its own question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(QtNameFilters(request.filter).split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(FromBytes(request.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return ToPath(dialog.selectedFiles().constFirst());
}

}  // namespace

QString FromBytes(const std::string& text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (const char ch : text)
        result.append(QChar(static_cast<char16_t>(Windows1252CodePoint(static_cast<unsigned char>(ch)))));
    return result;
}

std::string ToBytes(const QString& text) {
    std::string result;
    result.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar ch : text) result.push_back(Windows1252Byte(ch.unicode()).value_or('?'));
    return result;
}

QString FromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString QtNameFilters(const std::string& filter) {
    const std::vector<std::string> parts = SplitAtBars(filter);
    QStringList filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        QString description = FromBytes(parts[i]).trimmed();
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0) description = description.left(open).trimmed();
        }
        QStringList patterns = FromBytes(parts[i + 1]).split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) pattern = pattern.trimmed();
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

MessageAnswer QtUserDialogs::ShowMessage(MessageKind kind, const std::string& text, MessageButtons buttons) {
    QMessageBox box(IconOf(kind), MessageCaption(kind), FromBytes(text), QMessageBox::NoButton, owner_);
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case MessageButtons::Cancel:
            box.setStandardButtons(QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        default:
            break;
    }
    // Closed by the system menu or Escape: the answer of the box's escape button.
    return buttons == MessageButtons::YesNo    ? MessageAnswer::No
           : buttons == MessageButtons::Cancel ? MessageAnswer::Cancel
                                               : MessageAnswer::Ok;
}

std::optional<std::string> QtUserDialogs::OpenFile(const FileDialogRequest& request) {
    return RunFileDialog(owner_, request, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtUserDialogs::SaveFile(const FileDialogRequest& request) {
    return RunFileDialog(owner_, request, QFileDialog::AcceptSave);
}

std::optional<std::string> QtUserDialogs::AskText(const std::string& title, const std::string& label,
                                                  const std::string& text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner_, FromBytes(title), FromBytes(label), QLineEdit::Normal, FromBytes(text), &ok);
    if (!ok) return std::nullopt;
    return ToBytes(answer.trimmed());
}

void QtUserDialogs::ShowReport(const std::string& title, const std::string& text) {
    QDialog dialog(owner_);
    dialog.setObjectName(QStringLiteral("ReportDialog"));
    dialog.setWindowTitle(FromBytes(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* report = new QPlainTextEdit(FromBytes(text), &dialog);
    report->setObjectName(QStringLiteral("Report"));
    report->setAccessibleName(FromBytes(title) + QStringLiteral(" report"));
    report->setReadOnly(true);
    report->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    report->setTabChangesFocus(true);
    report->setLineWrapMode(QPlainTextEdit::NoWrap);
    report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(report);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(900, 320);
    dialog.exec();
}

}  // namespace vireo::gui
