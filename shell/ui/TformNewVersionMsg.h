#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace zendal {

// "New Version": the small notice that a newer editor is published, with the
// updater start, the What's New page and the switch that turns the notice off.
class TformNewVersionMsg : public QWidget {
    Q_OBJECT
  public:
    explicit TformNewVersionMsg(QWidget* parent = nullptr);

    // Fills the labels and shows the window (not modal).
    void showVersions(const QString& currentVersion, const QString& newVersion);

    QLabel* Label1;
    QLabel* Label2;
    QPushButton* btnLaunchUpdate;
    QPushButton* btnSeeWhatsNew;
    QCheckBox* CheckBox1;

  signals:
    void launchUpdateClicked();

  private:
    void btnSeeWhatsNewClick();
    void CheckBox1Click(bool checked);
};

}  // namespace zendal
