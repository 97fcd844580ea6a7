#include "publishing/upload/UploadThread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "core/CurlLibrary.h"
#include "core/EventLog.h"
#include "core/MainThread.h"
#include "core/TransferProgress.h"
#include "core/UiPort.h"
#include "displays/Formatting.h"
#include "platform/Files.h"
#include "publishing/upload/FtpClient.h"
#include "publishing/upload/SecureCopy.h"

namespace kv {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

tUploadQueue UploadQueueOf(tPictureQueue& pictures) {
  return {[&pictures](tImageKind kind) { return pictures.Pending(kind); },
          [&pictures](tImageKind kind, const tPendingImage& sent) { pictures.Clear(kind, sent); }};
}

TthdUpload::TthdUpload(const tSettings& settings, std::shared_ptr<const tTexts> texts, bool protocolLog,
                       tUploadQueue queue, const tMainThread& main)
    : settings_(settings),
      texts_(texts ? std::move(texts) : std::make_shared<const tTexts>()),
      protocolLog_(protocolLog),
      queue_(std::move(queue)),
      main_(main),
      appDir_(main.process.AppDir) {
  try {
    ftp_ = std::make_unique<TFtpClient>(terminate_);
    // The status panel limits its own repaints; libcurl reports far more often than it draws.
    ftp_->progressChanged = [] { NotifyTransferProgress(); };
  } catch (const std::exception& e) {
    LogError("tuci ", e);
  }
}

TthdUpload::~TthdUpload() { Stop(); }

void TthdUpload::Start() {
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TthdUpload::Stop() {
  terminate_ = true;  // the transfer callbacks and the waits notice it
  if (thread_.joinable()) thread_.join();
}

void TthdUpload::Status(const std::string& text) {
  main_.Post([&ui = main_.ui, text] { ui.ShowStatus(text); });
}

std::string TthdUpload::ErrorText(const std::string& message) const {
  return texts_->UploadError + " (\"" + message + "\")";
}

void TthdUpload::Run() {
  main_.Post([&ui = main_.ui] { ui.SetTrayIconSlot(2); });
  try {
    // Entries whose file is gone are dropped.
    for (tImageKind kind : {tImageKind::Light, tImageKind::Banner}) {
      const tPendingImage entry = queue_.get(kind);
      if (!entry.name.empty() && !FileExists(entry.path)) queue_.clear(kind, entry);
    }
    // Files are addressed by their full paths; the process's current directory stays put.
    const tPendingImage light = queue_.get(tImageKind::Light);
    const tPendingImage banner = queue_.get(tImageKind::Banner);
    if (!(settings_.UploadLight && !light.name.empty()) &&
        !(settings_.UploadBanner && !banner.name.empty())) {
      LogEvent("Not uploading any image");
    } else if (settings_.UploadType == 3) {
      SecureCopyRun(light, banner);
    } else {
      FtpRun();
    }
  } catch (const std::exception& e) {
    Status(ErrorText(e.what()));
    LogError("tue1 ", e);
  }
  main_.Post([&ui = main_.ui, &s = main_.settings] { ui.SetTrayIconSlot(s.AutoConnect ? 0 : 1); });
  running_ = false;
}

void TthdUpload::SecureCopyRun(const tPendingImage& light, const tPendingImage& banner) {
  Status(texts_->UploadingPSCP);
  std::vector<std::string> files;
  if (settings_.UploadLight && !light.name.empty()) files.push_back(light.path);
  if (settings_.UploadBanner && !banner.name.empty()) files.push_back(banner.path);
  const std::string passwordFile = WritePasswordFile(settings_.FTPPass);
  if (passwordFile.empty()) throw std::runtime_error("Cannot write the password file");
  const tCopyOutcome outcome = RunSecureCopy(
      PscpArguments(settings_.Port, passwordFile, files, settings_.User, settings_.Host,
                    settings_.FTPPath),
      passwordFile, terminate_, appDir_);
  // Only a copy that says it succeeded empties the queue; every other end is a failed run, so
  // the pictures wait for the next one.
  switch (outcome.result) {
    case tCopyResult::Ended:
      queue_.clear(tImageKind::Light, light);
      queue_.clear(tImageKind::Banner, banner);
      Status(texts_->UploadCompleted);
      return;
    case tCopyResult::NotStarted:
      throw std::runtime_error("pscp cannot be started; the package putty-tools provides it");
    case tCopyResult::Failed:
      throw std::runtime_error("pscp ended with exit code " + std::to_string(outcome.exitCode));
    case tCopyResult::Killed:
      throw std::runtime_error(terminate_ ? std::string("pscp was stopped: the upload was ended")
                                          : "pscp did not finish within " +
                                                std::to_string(PscpPolls * PscpPollMs / 1000) + " s and was stopped");
  }
}

void TthdUpload::FtpRun() {
  if (!ftp_) throw std::runtime_error("No FTP client");
  try {
    FtpConnect();
    struct tStep {
      tImageKind kind;
      bool withPath;
    };
    static constexpr tStep steps[] = {{tImageKind::Light, false},
                                      {tImageKind::Banner, false},
                                      {tImageKind::Light, true},
                                      {tImageKind::Banner, true}};
    for (const tStep& step : steps) {
      const bool isLight = step.kind == tImageKind::Light;
      const bool upload = isLight ? settings_.UploadLight : settings_.UploadBanner;
      const std::string& path = isLight ? settings_.LightPath : settings_.BannerPath;
      const tPendingImage entry = queue_.get(step.kind);
      if (entry.name.empty() || !upload || path.empty() == step.withPath) continue;
      if (FtpUploadFile(entry, step.withPath ? path : std::string()))
        queue_.clear(step.kind, entry);
    }
  } catch (...) {
    FtpDisconnect();
    throw;
  }
  FtpDisconnect();
}

void TthdUpload::FtpConnect() {
  const tSettings& s = settings_;
  if (s.Host.empty()) {
    LogEvent("No FTP hostname entered");
    Status(texts_->NoFTPHost);
    return;
  }
  if (s.User.empty()) {
    LogEvent("No FTP username entered");
    Status(texts_->NoFTPUser);
    return;
  }
  if (s.FTPPass.empty()) {
    LogEvent("No FTP password entered");
    Status(texts_->NoFTPPassword);
    return;
  }
  ftp_->SetProtocolLogging(protocolLog_);
  LogEvent("Disconnecting any possibly present FTP connection");
  try {
    ftp_->Disconnect();
  } catch (const std::exception& e) {
    LogError("cp0 ", e);
  }
  LogEvent("Connecting to ftp://" + s.Host + ":" + std::to_string(s.Port));
  if (s.Passive) LogEvent("Passive");
  if (s.PassiveUseControlHost) LogEvent("PassiveUseControlHost");
  if (s.TryNATFastTrack) LogEvent("TryNATFastTrack");
  LogEvent("UseTLS: " + std::to_string(s.UseTLS));
  if (s.UseTLS > 0 && s.UseCCC) LogEvent("UseCCC");
  try {
    tFtpOptions o;
    o.host = s.Host;
    o.user = s.User;
    o.password = s.FTPPass;
    o.port = s.Port;
    o.passive = s.Passive;
    o.passiveUseControlHost = s.PassiveUseControlHost;
    o.natFastTrack = s.TryNATFastTrack;
    o.useTLS = s.UseTLS >= 0 && s.UseTLS <= 3 ? s.UseTLS : 0;
    o.useCCC = s.UseTLS > 0 && s.UseCCC;
    o.verifyTLS = s.VerifyTLS;
    if (s.ProxyType != 0) {
      o.proxyType = s.ProxyType;
      o.proxyHost = s.ProxyHost;
      o.proxyUser = s.ProxyUser;
      o.proxyPassword = s.FTPProxyPass;
      o.proxyPort = s.ProxyPort;
      LogEvent("Proxy: \"" + s.ProxyHost + "\"");
      LogEvent("Port: " + std::to_string(s.ProxyPort));
      LogEvent("Type: " + std::to_string(s.ProxyType));
    }
    ftp_->SetOptions(o);
  } catch (const std::exception& e) {
    LogError("cp2 ", e);
  }
  TransferProgress().transferring = false;
  connected_ = false;
  for (int attempt = 0; attempt < 3 && !connected_ && !terminate_; ++attempt) {
    Status(FormatWithText(texts_->ConnectingTo, s.Host));
    try {
      ftp_->Connect();
      connected_ = true;
      Status(FormatWithText(texts_->ConnectedTo, s.Host));
    } catch (const std::exception& e) {
      // Every failure says why (a refused certificate, a missing CA bundle or libcurl, a
      // server without TLS), or the user would never learn what to mend.
      const bool noLibrary = dynamic_cast<const CurlLoadError*>(&e) != nullptr;
      Status(texts_->ConnectionFailed + " (\"" + e.what() + "\")");
      LogError("cp1 ", e);
      if (noLibrary) break;  // another attempt finds no library either
    }
  }
  if (connected_ && !s.FTPPath.empty()) {
    LogEvent("Changing dir to " + s.FTPPath);
    try {
      ftp_->ChangeDir(s.FTPPath);
    } catch (const std::exception& e) {
      LogError("tucf4 ", e);
      ftp_->SetProtocolLogging(false);
      // Going on would store the pictures wherever the login left us.
      throw std::runtime_error("Cannot change to " + s.FTPPath + ": " + e.what());
    }
  }
  ftp_->SetProtocolLogging(false);
}

bool TthdUpload::FtpUploadFile(const tPendingImage& entry, const std::string& dir) {
  const std::string name = BaseName(entry.name);
  if (!FileExists(entry.path)) {
    LogEvent("Cannot upload not existing " + name);
    return false;
  }
  if (!connected_ || terminate_) return false;
  TransferProgress().transferring = false;  // nothing of an interrupted transfer is left open
  ftp_->SetProtocolLogging(protocolLog_);
  try {
    if (!dir.empty()) {
      LogEvent("Changing dir to " + dir);
      ftp_->ChangeDir(dir);
    }
    LogEvent("Uploading " + name);
    Status(FormatWithText(texts_->Uploading, name));
    ftp_->Store(entry.path, name);
    Status(FormatWithText(texts_->UploadedSuccessfully, name));
    ftp_->SetProtocolLogging(false);
    return true;
  } catch (const std::exception& e) {
    LogError("ui3 ", e);
    Status(ErrorText(e.what()));
    TransferProgress().transferring = false;
    connected_ = false;
    ftp_->SetProtocolLogging(false);
    return false;
  }
}

void TthdUpload::FtpDisconnect() {
  if (connected_) {
    LogEvent("Disconnecting (FTP)");
    Status(texts_->Disconnecting);
    ftp_->SetProtocolLogging(protocolLog_);
    try {
      ftp_->Disconnect();
    } catch (const std::exception& e) {
      LogError("tudf1 ", e);
    }
    Status(texts_->Disconnected);
  } else {
    ftp_->Disconnect();  // a failed session still holds its handle
  }
  ftp_->SetProtocolLogging(false);
  connected_ = false;
}

}  // namespace kv
