#pragma once
/// CLPGBar: the device frame's status bar — information field, connection state,
/// error indicator, the eight injector indicators and the progress bar. Every setter
/// repaints the bar at once. Call it on the GUI thread only.

#include <QWidget>
#include <array>
#include <cstdint>

class QLabel;
class QProgressBar;
class QTimer;

namespace zefirel {

inline constexpr uint32_t COLOUR_GREEN = 0x00FF00;
inline constexpr uint32_t COLOUR_RED = 0x0000FF;
inline constexpr uint32_t COLOUR_YELLOW = 0x00FFFF;
inline constexpr uint32_t COLOUR_WHITE = 0xFFFFFF;
inline constexpr uint32_t COLOUR_GREY = 0x7D7D7D;
/// How long a notice of a finished action stays in the bar.
inline constexpr int NOTICE_MS = 6000;
/// Quiet ticks after which an injector indicator turns grey.
inline constexpr int INJECTOR_QUIET_TICKS = 3;

class CNoticeLabel;

class CLPGBar : public QWidget {
    Q_OBJECT
public:
    explicit CLPGBar(QWidget* parent = nullptr);

    /// Information field text (the display view's pointer read-out).
    void setInfo(const QString& text);
    QString info() const;
    /// "Połączony" on green or "Brak połączenia" on red.
    void showConnection(bool connected);
    /// "Błąd" on red or empty on grey.
    void showError(bool on);
    /// Updates the injector indicators from the activity byte and the LPG pairs byte.
    void setInjectors(uint8_t activity, uint8_t pairs, bool extendedLayout);
    /// Turns every injector indicator grey (nothing is known about them now).
    void clearInjectors();
    /// Progress bar position 0..100.
    void setProgress(int percent);
    /// Says for a few seconds that an action succeeded (a newer notice replaces it).
    void showNotice(const QString& text, int ms = NOTICE_MS);
    QString notice() const;
    /// The access level unlocked in this session, shown while it is above the basic one.
    void showLevel(const QString& level);
    QString level() const;

    /// Background colour of a field as 0x00BBGGRR (tests, printing).
    static uint32_t fieldColour(const QLabel* field);
    QLabel* connectionField() const { return m_connection; }
    QLabel* errorField() const { return m_error; }
    QLabel* injectorField(int i) const { return m_inj[static_cast<size_t>(i)]; }
    QProgressBar* progressBar() const { return m_progress; }

private:
    QLabel* m_info;
    CNoticeLabel* m_notice;
    QLabel* m_level;
    QTimer* m_noticeTimer;
    QLabel* m_connection;
    QLabel* m_error;
    std::array<QLabel*, 8> m_inj{};
    std::array<int, 8> m_countdown{};
    QProgressBar* m_progress;
};

} // namespace zefirel
