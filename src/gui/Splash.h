#pragma once
// The splash window: the product picture with the web address and version, fading in, staying
// two seconds and fading out; a click fades it out at once and opens the feature page.
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace kv {

class TfrmInfo final : public QWidget {
 public:
  static constexpr int FadeStep = 25, FadeInterval = 30, HoldTime = 2000;

  TfrmInfo();
  // The picture with its drawn texts (290 x 200).
  const QImage& Picture() const { return picture_; }
  int Alpha() const { return alpha_; }
  // A close request: refused while fading in or holding, which starts the fade-out instead.
  void RequestClose();
  // Shows the window and returns once it has faded out.
  void ShowModal();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Step();

  QImage picture_;
  QTimer fade_, hold_;
  int alpha_ = 0;
  int step_ = FadeStep;
  bool closing_ = false;
};

// The product picture the splash window draws its texts on.
QImage SplashBackground();

}  // namespace kv
