// The yardstick for the main window's footprint: the least a Qt Widgets program with a window
// and a tray icon takes. It shows one 550 x 600 image and a tray icon, and does nothing else.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QImage image(550, 600, QImage::Format_RGB32);
  // Some content, so the window is not a single-colour surface a driver could special-case.
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
  QLabel window;
  window.setWindowTitle("minimal_window");
  window.setPixmap(QPixmap::fromImage(image));
  window.setFixedSize(550, 600);
  window.show();
  QPixmap icon(16, 16);
  icon.fill(Qt::darkGreen);
  QSystemTrayIcon tray{QIcon(icon)};
  tray.setToolTip("minimal_window");
  tray.show();
  return QApplication::exec();
}
