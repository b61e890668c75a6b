// The about page: name and version, help, update check, recommendation mail, two links.
#pragma once

#include "ui/pages/ResizablePage.h"

#include <QString>

class QPushButton;

namespace corvane {

class CHyperLink;

class CPageAbout : public CResizablePage {
    Q_OBJECT
public:
    explicit CPageAbout(QWidget* parent = nullptr);

    // The address the update check opens: the update page with the version query.
    static QString UpdateAddress();
    // The "mailto:" address of the recommendation mail (no recipient, subject and body).
    static QString TellAFriendAddress();
    // The support link's "mailto:" address.
    static QString SupportAddress();

    CHyperLink* HomeLink() const { return homeLink_; }
    CHyperLink* SupportLink() const { return supportLink_; }

    void OnHelpTopics();
    void OnCheckForUpdates();
    void OnTellAFriend();

Q_SIGNALS:
    // "Help Topics" was pressed: the program opens its guide.
    void HelpRequested();

protected:
    void OnInitPage() override;

private:
    CHyperLink* homeLink_ = nullptr;
    CHyperLink* supportLink_ = nullptr;
};

}  // namespace corvane
