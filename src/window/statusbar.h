#pragma once
// The main window's status bar: an empty text panel, then the date and the time, each with
// an icon, kept current by the bar itself.

#include <QDateTime>
#include <QStatusBar>
#include <QTimer>

class QLabel;

namespace quillbox::window {

class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent = nullptr);

    QLabel *textPanel() const { return m_text; }
    QLabel *datePanel() const { return m_date; }
    QLabel *timePanel() const { return m_time; }

    // Shows the given moment (the bar calls it with the clock's time).
    void showMoment(const QDateTime &moment);

private:
    void tick();

    QLabel *m_text;
    QLabel *m_date;
    QLabel *m_time;
    QTimer m_timer;
};

} // namespace quillbox::window
