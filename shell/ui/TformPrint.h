#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QVBoxLayout;

namespace zendal {

// The debug console: every log line of the editor, hidden until Ctrl+Shift+P
// in the main window. Lines reach the view in batches so a 16,384-line dump
// costs one append and one repaint; the log itself keeps every line.
class TformPrint : public QWidget {
    Q_OBJECT
  public:
    explicit TformPrint(QWidget* parent = nullptr);

    QPlainTextEdit* memo() const { return Memo1_; }
    bool followMode() const { return follow_; }

    // Where the service tools go (below the log's buttons).
    QWidget* serviceArea() const { return serviceArea_; }
    void setServicePanel(QWidget* panel);

    // Shows the lines still waiting for the next batch now.
    void flush();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void lineAdded(const QString& line, bool follow);
    void cleared();
    void btnClearClick();
    void btnScrollTopClick();
    void CheckBox1Click(bool checked);

    QPlainTextEdit* Memo1_ = nullptr;
    QPushButton* btnClear_ = nullptr;
    QPushButton* btnScrollTop_ = nullptr;
    QCheckBox* CheckBox1_ = nullptr;
    QWidget* serviceArea_ = nullptr;
    QVBoxLayout* serviceLayout_ = nullptr;
    QTimer* batch_ = nullptr;

    QStringList pending_;
    bool pendingScroll_ = false;
    bool follow_ = true;
};

}  // namespace zendal
