// A text control that looks and acts like a web link: colours, underline, hover, click.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QTimer>

namespace corvane {

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    static constexpr QColor kLinkColour{0, 0, 238};
    static constexpr QColor kVisitedColour{85, 26, 139};
    static constexpr QColor kHoverColour{255, 0, 0};
    static constexpr int kHoverTimerMs = 100;

    // Underline modes.
    static constexpr int kUnderlineAlways = 1;
    static constexpr int kUnderlineNever = 0;
    static constexpr int kUnderlineHover = -1;

    // text is shown; target is opened on a click. An empty target takes the text and an
    // empty text the target.
    CHyperLink(const QString& text, const QString& target, QWidget* parent = nullptr);

    // Stores the target and updates the size and the tooltip.
    void SetTarget(const QString& target);
    const QString& Target() const { return target_; }

    // Sets the underline mode; setting the current mode does nothing.
    void SetUnderline(int mode);
    int Underline() const { return underline_; }

    void SetAutoSize(bool autoSize);
    // Resizes the control to its text, keeping its centre, right or left edge by the text's
    // alignment (and its vertical centre or top).
    void AutoSize();

    bool IsHovered() const { return hover_; }
    bool IsVisited() const { return visited_; }
    // The colour the text is drawn in now.
    QColor CurrentColour() const;

    // Opens the target with the shell; on failure beeps and shows "Unable to open
    // hyperlink:\n\n" with the failure's text. Runs on a click.
    void Follow();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void OnHoverTimer();
    void UpdateFonts();
    void UpdateColour();

    QString target_;
    bool hover_ = false;
    bool visited_ = false;
    int underline_ = kUnderlineHover;
    bool autoSize_ = true;
    QFont normalFont_;
    QFont underlinedFont_;
    QTimer hoverTimer_;
    bool settingFont_ = false;
};

}  // namespace corvane
