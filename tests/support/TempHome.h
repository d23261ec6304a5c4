#pragma once

#include <QString>
#include <QTemporaryDir>

namespace zendal::test {

// Points HOME and the XDG folders at a fresh temporary folder for its lifetime,
// so no test ever touches the real user's documents folder.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    QString path() const { return dir_.path(); }
    QString documents() const;

  private:
    QTemporaryDir dir_;
    QByteArray oldHome_, oldDocuments_, oldData_, oldConfig_;
};

}  // namespace zendal::test
