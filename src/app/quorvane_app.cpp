#include "quorvane_app.h"

#include "program_identity.h"
#include "qt_translation.h"
#include "quorvane_dlg.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <memory>

namespace pelorin {

CQuorvaneApp::CQuorvaneApp(int& argc, char** argv) : application_(argc, argv) {}

int CQuorvaneApp::InitInstance() {
  // Sockets need no start-up here; a peer that has gone must show up as an
  // error of the send, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  // Likewise a log file that reaches the size limit of the process: its
  // write fails with EFBIG and the log reports it.
  std::signal(SIGXFSZ, SIG_IGN);
  const QString programPath = QString::fromStdString(monitor::ProgramFilePath());
  QApplication::setApplicationName(
      QString::fromStdString(monitor::ApplicationName(programPath.toStdString())));
  // The window speaks Japanese, and so do Qt's own dialogs where Qt has the
  // translation; without it they speak English.
  ui::InstallJapaneseQtTexts(qtTexts_);
  // Desktops find the window's entry, and so its icon, by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pelorin.Pelorin"));
  {
    ui::CQuorvaneDlg window(programPath);
    // The log starts beside the program. A program installed for everyone
    // (under /usr), or in a folder the user cannot write to, starts it in the
    // user's home instead: a system folder is no place for anyone's records,
    // not even root's.
    const QFileInfo log(window.LogPath());
    const QString folder = log.absolutePath();
    if (folder.startsWith(QLatin1String("/usr/")) || !QFileInfo(folder).isWritable()) {
      window.SetLogPath(QDir::homePath() + "/" + log.fileName());
    }
    window.exec();
  }
  return 0;
}

}  // namespace pelorin
