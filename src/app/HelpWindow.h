// The in-process help window "Corvane Help": the user guide built into the program.
#pragma once

#include <QTextBrowser>

namespace corvane {

constexpr char kHelpWindowTitle[] = "Corvane Help";

class CHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    // A top-level window showing the guide; it deletes itself when closed. Links to web and
    // mail addresses are handed to the desktop, links inside the guide are followed here.
    CHelpWindow();
};

}  // namespace corvane
