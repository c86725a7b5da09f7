// The kit's exception tree. Every failure is one of these classes; the engine treats a user abort
// (EAIUserAbort) differently from every other failure, and EAbort is the silent abort that skips
// the current object.
//
// Messages of the IException family pass through the current message translator before they are
// formatted; all other classes keep their English text.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace tmby {

// One argument of a "%s" / "%d" format.
using FormatArg = std::variant<std::string, int64_t>;

struct FmtArg {
  FormatArg value;
  FmtArg(const std::string& s) : value(s) {}                 // NOLINT(google-explicit-constructor)
  FmtArg(const char* s) : value(std::string(s ? s : "")) {}  // NOLINT
  FmtArg(int v) : value(static_cast<int64_t>(v)) {}          // NOLINT
  FmtArg(unsigned v) : value(static_cast<int64_t>(v)) {}     // NOLINT
  FmtArg(long v) : value(static_cast<int64_t>(v)) {}         // NOLINT
  FmtArg(long long v) : value(static_cast<int64_t>(v)) {}    // NOLINT
  FmtArg(unsigned long v) : value(static_cast<int64_t>(v)) {}       // NOLINT
  FmtArg(unsigned long long v) : value(static_cast<int64_t>(v)) {}  // NOLINT
};

// Formats `format` with "%s" (string) and "%d" (integer) placeholders, "%%" for a percent sign.
// Never reads past its arguments: a placeholder without an argument, or of the other type, is
// written with what the argument holds (or nothing), and surplus arguments are ignored. Any other
// "%" sequence is copied as it stands.
std::string FormatText(const std::string& format, const std::vector<FmtArg>& args);

// The hook through which the translator turns an English text into the current language.
// Empty (the default): texts stay English.
using MessageTranslator = std::function<std::string(const std::string& english)>;
void SetMessageTranslator(MessageTranslator translator);
// The current language's text for `english` (the English text when there is no translator).
std::string LocalizeMessage(const std::string& english);

// The root of the tree: one message string.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  Exception(const std::string& format, const std::vector<FmtArg>& args)
      : message_(FormatText(format, args)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  // Replaces the message (a reader adds the place in its input to a failure it lets through).
  void SetMessage(std::string message) { message_ = std::move(message); }
  // The class name as the system calls it ("ETmbyCompress").
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

// The silent abort: a step that raises it skips the current object quietly.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  explicit EAbort(std::string message) : Exception(std::move(message)) {}
  const char* ClassName() const override { return "EAbort"; }
};

#define TMBY_EXCEPTION(Name, Parent)                         \
  class Name : public Parent {                               \
   public:                                                   \
    using Parent::Parent;                                    \
    const char* ClassName() const override { return #Name; } \
  };

TMBY_EXCEPTION(EAI, Exception)
TMBY_EXCEPTION(EAICannotExpandContainerDirMV, EAI)
TMBY_EXCEPTION(EAICannotExpandInstallDirMV, EAI)
TMBY_EXCEPTION(EUserAbortInstall, Exception)
TMBY_EXCEPTION(ECustomTamberlyAbnormal, Exception)
TMBY_EXCEPTION(ETamberlyAbnormal, ECustomTamberlyAbnormal)
TMBY_EXCEPTION(ETmbyCompress, ETamberlyAbnormal)
TMBY_EXCEPTION(EAPIRoutines, ETamberlyAbnormal)
TMBY_EXCEPTION(EProgramLauncher, ETamberlyAbnormal)
TMBY_EXCEPTION(ENIL, Exception)
TMBY_EXCEPTION(ENIL_OpenSession, ENIL)
TMBY_EXCEPTION(ENIL_OpenService, ENIL)
TMBY_EXCEPTION(ENIL_FailDataQuery, ENIL)
TMBY_EXCEPTION(ENIL_ReadFile, ENIL)
TMBY_EXCEPTION(ENIL_FileNotFound, ENIL)
TMBY_EXCEPTION(ENIL_FTP, ENIL)
TMBY_EXCEPTION(ENIL_FTPSetDir, ENIL_FTP)
TMBY_EXCEPTION(ENIL_FTPOpenFile, ENIL_FTP)
TMBY_EXCEPTION(ENIL_FTPCloseFile, ENIL_FTP)
TMBY_EXCEPTION(ENIL_HTTP, ENIL)
TMBY_EXCEPTION(ENIL_HTTPOpenFile, ENIL_HTTP)
TMBY_EXCEPTION(ENIL_HTTPSendRequest, ENIL_HTTP)
TMBY_EXCEPTION(IENetList, ENIL)
TMBY_EXCEPTION(ENIL_WriteDestFile, Exception)
TMBY_EXCEPTION(ENIL_FailLoadWININET, Exception)
TMBY_EXCEPTION(ENIL_FailLoadDLLProc, Exception)
TMBY_EXCEPTION(EIRCannotWriteValue, Exception)
// A file that could not be opened for reading ("Cannot open file \"%s\"").
TMBY_EXCEPTION(EFOpenError, Exception)
TMBY_EXCEPTION(EOleError, Exception)

// An install abort by the user; the message is fixed and never translated.
class EAIUserAbort : public EAI {
 public:
  EAIUserAbort() : EAI("Installation aborted by the user") {}
  const char* ClassName() const override { return "EAIUserAbort"; }
};

TMBY_EXCEPTION(EtcDiskFull, ETmbyCompress)
TMBY_EXCEPTION(EtcAborted, ETmbyCompress)

// A failed program start with the system's error code.
class EProgramLauncherFailed : public EProgramLauncher {
 public:
  using EProgramLauncher::EProgramLauncher;
  const char* ClassName() const override { return "EProgramLauncherFailed"; }
  uint32_t ErrorCode = 0;
};

// A failed call of the system's OLE or automation library; the message is the system's text for
// the HRESULT.
class EOleSysError : public EOleError {
 public:
  using EOleError::EOleError;
  const char* ClassName() const override { return "EOleSysError"; }
  int32_t ErrorCode = 0;
};

// The IE family: texts are translated first, then formatted.
class IException : public ECustomTamberlyAbnormal {
 public:
  explicit IException(const std::string& message)
      : ECustomTamberlyAbnormal(LocalizeMessage(message)) {}
  IException(const std::string& format, const std::vector<FmtArg>& args)
      : ECustomTamberlyAbnormal(FormatText(LocalizeMessage(format), args)) {}
  const char* ClassName() const override { return "IException"; }
};

TMBY_EXCEPTION(IEInstall, IException)
TMBY_EXCEPTION(IEInstallNetLocNil, IEInstall)
TMBY_EXCEPTION(IEPathSpecifier, IException)
TMBY_EXCEPTION(IEPathSpecifierList, IException)
TMBY_EXCEPTION(IEPathSpecifierClassList, IException)
TMBY_EXCEPTION(IEInstallContainer, IException)
TMBY_EXCEPTION(IEFileRelated, IException)
TMBY_EXCEPTION(IEFileRel_NoNetLocation, IEFileRelated)
TMBY_EXCEPTION(IEFileContainer, IException)
TMBY_EXCEPTION(IEfcDuplicateFile, IEFileContainer)
TMBY_EXCEPTION(IEfcSetAttributes, IEFileContainer)
TMBY_EXCEPTION(IENoTamberlyPath, IException)
TMBY_EXCEPTION(IECustomInstallFile, IException)
TMBY_EXCEPTION(IECustomInstallFileList, IException)
TMBY_EXCEPTION(IEContainerList, IException)
TMBY_EXCEPTION(IEInstallGroup, IException)
TMBY_EXCEPTION(IEUninstallEXE, IException)
TMBY_EXCEPTION(IEInstallShellLink, IException)
TMBY_EXCEPTION(IEShellLinkGroup, IException)
TMBY_EXCEPTION(IEInstallShellLinkList, IException)

#undef TMBY_EXCEPTION

}  // namespace tmby
