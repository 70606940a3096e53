#include "window/statusbar.h"

#include "resources/images.h"
#include "window/twips.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>

namespace quillbox::window {

namespace {

// A panel with an optional icon before its text.
QLabel *addPanel(StatusBar *bar, const QString &name, int widthTwips, const QPixmap &icon = {})
{
    auto *frame = new QWidget(bar);
    frame->setObjectName(name);
    frame->setFixedWidth(twipsToPixels(widthTwips));
    auto *layout = new QHBoxLayout(frame);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(3);
    if (!icon.isNull()) {
        auto *picture = new QLabel(frame);
        picture->setObjectName(name + QStringLiteral("Icon"));
        picture->setPixmap(icon);
        layout->addWidget(picture);
    }
    auto *text = new QLabel(frame);
    text->setObjectName(name + QStringLiteral("Text"));
    layout->addWidget(text, 1);
    bar->addWidget(frame);
    return text;
}

} // namespace

StatusBar::StatusBar(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    m_text = addPanel(this, QStringLiteral("Panel1"), 8625);
    m_date = addPanel(this, QStringLiteral("Panel2"), 1440, resources::pixmap(resources::Image::StatusDate, {16, 16}));
    m_time = addPanel(this, QStringLiteral("Panel3"), 1440, resources::pixmap(resources::Image::StatusTime, {16, 16}));

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StatusBar::tick);
    tick();
}

void StatusBar::showMoment(const QDateTime &moment)
{
    const QLocale locale;
    m_date->setText(locale.toString(moment.date(), QLocale::ShortFormat));
    m_time->setText(locale.toString(moment.time(), QLocale::ShortFormat));
}

void StatusBar::tick()
{
    const QDateTime now = QDateTime::currentDateTime();
    showMoment(now);
    // Wake just after the next full second, so the time turns over on time.
    m_timer.start(1000 - now.time().msec() + 5);
}

} // namespace quillbox::window
