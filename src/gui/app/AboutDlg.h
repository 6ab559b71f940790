#pragma once
// The About box with its fade in and out, the window fader, and the old-mail-client notice.
#include <QDialog>
#include <QTimer>

class QCheckBox;

// Fades a window's opacity in steps: in from 0 by `stepIn` until above 255, out from 255 by
// `stepOut` until below 1, one step per `intervalMs`.
class CFader : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimerId = 10301;
    CFader(QWidget* window, int stepIn, int stepOut, int intervalMs);
    // Fading needs a window system that can make windows translucent.
    static bool Available();
    void FadeIn();
    void FadeOut();
    bool Running() const { return m_timer.isActive(); }
    int Alpha() const { return m_alpha; }

Q_SIGNALS:
    void FadedOut();

private:
    void Tick();
    QWidget* m_window;
    int m_stepIn, m_stepOut;
    int m_alpha = 255;
    bool m_in = true;
    QTimer m_timer;
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSiteAddress = "https://www.velquin.net/";
    explicit CAboutDlg(QWidget* parent = nullptr);
    CFader& Fader() { return m_fader; }

    void done(int result) override;

Q_SIGNALS:
    // A link of the box was clicked: its address.
    void LinkWanted(const QString& address);

protected:
    void showEvent(QShowEvent* event) override;

private:
    CFader m_fader;
    int m_pendingResult = -1;
};

class CBatVersionNotOKDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBatVersionNotOKDlg(QWidget* parent = nullptr);
    bool DontShowAgain() const;

private:
    QCheckBox* m_check;
};
