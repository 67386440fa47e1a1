#include "ui/LinkPasswords.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

#include "settings/LinkPasswords.h"
#include "text/Cp932.h"

namespace nami {
namespace {

constexpr int kKeyringWaitMs = 3000;
const QString kService = QStringLiteral("nami");

// Runs a keyring job to its end, or gives up after a few seconds (a keyring
// that does not answer must not hold up the link for long).
bool RunJob(QKeychain::Job& job) {
  QEventLoop loop;
  bool done = false;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
    done = true;
    loop.quit();
  });
  QTimer::singleShot(kKeyringWaitMs, &loop, &QEventLoop::quit);
  job.setAutoDelete(false);
  job.start();
  if (!done) loop.exec();
  return done && job.error() == QKeychain::NoError;
}

}  // namespace

std::string LinkPassword(const std::string& iniPath, const std::string& link, FileFault& fault) {
  if (qEnvironmentVariableIsEmpty("NAMI_NO_KEYRING")) {
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(QString::fromStdString(link));
    if (RunJob(job)) return Utf8ToCp932(job.textData().toStdString());
  }
  return ReadLinkPasswordFile(LinkPasswordFile(iniPath), link, fault);
}

std::string StoreLinkPassword(const std::string& link, const std::string& password) {
  QKeychain::WritePasswordJob job(kService);
  job.setKey(QString::fromStdString(link));
  job.setTextData(QString::fromStdString(password));
  if (RunJob(job)) return {};
  const std::string why = job.errorString().toStdString();
  return why.empty() ? std::string("the keyring did not answer") : why;
}

}  // namespace nami
