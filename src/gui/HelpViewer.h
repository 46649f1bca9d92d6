#pragma once

#include <QWidget>

class QTextBrowser;

namespace vireo::gui {

/// The program's help window: a browser over the HTML help file that lies
/// beside the executable. It stands on the desktop on its own (not owned by
/// the main window), like a separate help program, and the main window closes
/// it when the program ends.
class THelpViewer : public QWidget {
    Q_OBJECT

public:
    THelpViewer();

    /// Shows the help file from its beginning (its table of contents). False,
    /// with nothing shown, when the file does not exist.
    bool ShowContents(const QString& helpFile);

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

}  // namespace vireo::gui
