#include "gui/Splash.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include "core/EventLog.h"
#include "core/Process.h"
#include "gui/WebLinks.h"
#include "settings/Language.h"

namespace kv {
namespace {

void DrawShadowed(QPainter& p, const QString& text, const QFont& font, QPoint at, QColor front) {
  p.setFont(font);
  p.setPen(Qt::black);
  // Positions are the text's top-left corner.
  p.drawText(QRect(at + QPoint(1, 1), QSize(290, 40)), Qt::AlignLeft | Qt::AlignTop, text);
  p.setPen(front);
  p.drawText(QRect(at, QSize(290, 40)), Qt::AlignLeft | Qt::AlignTop, text);
}

QFont Arial(int pixelHeight, bool bold) {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

}  // namespace

QImage SplashBackground() {
  QImage image(290, 200, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, 200);
  sky.setColorAt(0, QColor(0x10, 0x30, 0x60));
  sky.setColorAt(1, QColor(0x50, 0x90, 0xC0));
  p.fillRect(image.rect(), sky);
  // A pulse line: what the program watches.
  p.setPen(QPen(QColor(0xF0, 0x60, 0x30), 3));
  const QPoint pulse[] = {{10, 90}, {90, 90}, {110, 50}, {130, 120}, {150, 70}, {165, 90}, {280, 90}};
  p.drawPolyline(pulse, 7);
  QFont title(QStringLiteral("Arial"));
  title.setPixelSize(40);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 10, 290, 50), Qt::AlignHCenter, QString::fromLatin1(ProductName));
  return image;
}

TfrmInfo::TfrmInfo()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(SplashBackground()) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(picture_.size());
  {
    QPainter p(&picture_);
    DrawShadowed(p, QString::fromLatin1(WebAddresses.site), Arial(18, true), {5, 176}, Qt::white);
    const std::string version = Texts()->Version + " " + std::string(ProductVersion).substr(8);
    DrawShadowed(p, QString::fromStdString(version), Arial(14, false), {5, 133}, Qt::yellow);
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
  fade_.setInterval(FadeInterval);
  connect(&fade_, &QTimer::timeout, this, &TfrmInfo::Step);
  hold_.setSingleShot(true);
  hold_.setInterval(HoldTime);
  connect(&hold_, &QTimer::timeout, this, &TfrmInfo::RequestClose);
}

void TfrmInfo::Step() {
  const int next = alpha_ + step_;
  if (next > 255) {
    fade_.stop();
    hold_.start();
    return;
  }
  if (next < 0) {
    fade_.stop();
    closing_ = true;
    close();
    return;
  }
  alpha_ = next;
  setWindowOpacity(alpha_ / 255.0);
}

void TfrmInfo::RequestClose() {
  if (step_ > 0) {
    step_ = -FadeStep;
    hold_.stop();
    fade_.start();
  }
}

void TfrmInfo::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  event->ignore();
  RequestClose();
}

void TfrmInfo::ShowModal() {
  alpha_ = 0;
  step_ = FadeStep;
  closing_ = false;
  setWindowOpacity(0);
  show();
  fade_.start();
  QEventLoop loop;
  // Closing ends the wait; the window stays on top of everything meanwhile.
  QTimer watch;
  connect(&watch, &QTimer::timeout, &loop, [this, &loop] {
    if (!isVisible()) loop.quit();
  });
  watch.start(FadeInterval);
  loop.exec();
}

void TfrmInfo::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, picture_);
}

void TfrmInfo::mousePressEvent(QMouseEvent*) {
  RequestClose();
  OpenInBrowser(WebAddresses.features);
}

}  // namespace kv
