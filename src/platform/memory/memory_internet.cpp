// The internet library of the memory adapter: servers that serve host folders over "HTTP" and
// "FTP" without any socket, answering as the Windows Internet library does (its handles, error
// codes, status codes and the FTP server's response texts).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/internet_functions.h"
#include "platform/memory/memory_state.h"

namespace tmby::platform::memory {

namespace {

enum class Kind { Session, Connection, FtpFile, Request };

struct Item {
  Kind kind = Kind::Session;
  std::string host;  // folded
  uint32_t service = 0;
  std::string cwd = "/";  // FTP: the current directory
  std::string data;       // the open file's bytes, or the response body
  size_t pos = 0;
  bool sent = false;
  int status = 0;
  bool length = true;  // the answer announces its length
};

constexpr uint32_t kIncorrectHandleState = 12019;
constexpr uint32_t kIncorrectHandleType = 12018;
constexpr uint32_t kInsufficientBuffer = 122;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// The components of a server path ("/a/b", "a\b"), with "%XX" escapes decoded; nullopt when a
// component leaves the served folder.
std::optional<std::vector<std::string>> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&]() -> bool {
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    part.clear();
    return true;
  };
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '/' || c == '\\') {
      if (!flush()) return std::nullopt;
    } else if (c == '%' && i + 2 < path.size() &&
               std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
      part += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      part += c;
    }
  }
  if (!flush()) return std::nullopt;
  return parts;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

// The error page of a missing file, as common servers send it: the status is not at its start.
const char kNotFoundPage[] =
    "<!DOCTYPE HTML>\n<html lang=\"en\">\n    <head>\n        <meta charset=\"utf-8\">\n"
    "        <title>Error response</title>\n    </head>\n    <body>\n"
    "        <h1>Error response</h1>\n        <p>Error code: 404</p>\n"
    "        <p>Message: File not found.</p>\n"
    "        <p>Error code explanation: 404 - Nothing matches the given URI.</p>\n"
    "    </body>\n</html>\n";

}  // namespace

struct NetState {
  bool loads = true;
  std::set<std::string> missing;             // functions the library lacks
  std::map<std::string, NetServer> servers;  // by folded host name
  std::optional<uint64_t> cut_after;
  uint32_t cut_error = 0;
  std::vector<std::string> log;
  std::string last_response;
  std::map<InternetHandle, Item> handles;
  InternetHandle next = 0x1000;
};

namespace {

class MemoryInternetLibrary : public IInternetLibrary {
 public:
  explicit MemoryInternetLibrary(std::shared_ptr<NetState> net) : net_(std::move(net)) {}

  bool Bind(const std::string& function) override {
    const auto exported = [&function] {
      if (function == inet::kSetOptionFunction) return true;
      for (const char* name : inet::kLocationFunctions) {
        if (function == name) return true;
      }
      return false;
    };
    if (!exported() || net_->missing.count(function) != 0) return Fail(inet::kProcNotFound);
    bound_.insert(function);
    return Ok();
  }

  InternetHandle Open(const std::string& agent, uint32_t access, uint32_t flags) override {
    if (!Bound("InternetOpenA")) return 0;
    net_->log.push_back("open " + agent + " access " + std::to_string(access) + " flags " +
                        Hex(flags));
    return Add(Item{});
  }

  InternetHandle Connect(InternetHandle session, const std::string& host, uint16_t port,
                         const std::optional<std::string>& user,
                         const std::optional<std::string>& password, uint32_t service,
                         uint32_t flags) override {
    if (!Bound("InternetConnectA")) return 0;
    net_->log.push_back("connect " + host + ":" + std::to_string(port) + " service " +
                        std::to_string(service) + " user " + user.value_or("-") + " password " +
                        password.value_or("-") + " flags " + Hex(flags));
    const Item* parent = Find(session, Kind::Session);
    if (parent == nullptr) return 0;
    Item item;
    item.kind = Kind::Connection;
    item.host = FoldCase(host);
    item.service = service;
    if (service == inet::kServiceFtp) {
      // FTP logs in at once; HTTP meets the server only when a request is sent.
      const NetServer* server = Server(item.host);
      if (server == nullptr) return FailHandle(inet::kErrorNameNotResolved);
      const bool anonymous = !user || user->empty() || SameName(*user, "anonymous");
      const bool accepted = anonymous ? server->anonymous
                                      : !server->user.empty() && *user == server->user &&
                                            password.value_or("") == server->password;
      if (!accepted) {
        net_->last_response = "530 Authentication failed.";
        return FailHandle(inet::kErrorLoginFailure);
      }
      net_->last_response = "230 Login successful.";
    } else if (service != inet::kServiceHttp) {
      return FailHandle(err::kInvalidParameter);
    }
    return Add(item);
  }

  bool FtpSetCurrentDirectory(InternetHandle connection, const std::string& dir) override {
    if (!Bound("FtpSetCurrentDirectoryA")) return false;
    net_->log.push_back("cd " + dir);
    Item* c = Find(connection, Kind::Connection);
    if (c == nullptr) return false;
    const std::optional<std::vector<std::string>> parts =
        Components((dir.empty() || dir[0] == '/' ? std::string() : c->cwd + "/") + dir);
    const NetServer* server = Server(c->host);
    if (!parts || server == nullptr || !std::filesystem::is_directory(HostOf(*server, *parts))) {
      net_->last_response = "550 No such file or directory.";
      return Fail(inet::kErrorExtendedError);
    }
    c->cwd = Joined(*parts);
    net_->last_response = "250 \"" + c->cwd + "\" is the current directory.";
    return Ok();
  }

  bool CloseHandle(InternetHandle handle) override {
    if (!Bound("InternetCloseHandle")) return false;
    if (net_->handles.erase(handle) == 0) return Fail(err::kInvalidHandle);
    return Ok();
  }

  bool QueryDataAvailable(InternetHandle file, uint32_t* bytes) override {
    *bytes = 0;
    if (!Bound("InternetQueryDataAvailable")) return false;
    Item* f = Readable(file);
    if (f == nullptr) return false;
    // What one arrival of network data would hold, not the whole file.
    *bytes = static_cast<uint32_t>(std::min<size_t>(Limit(*f) - f->pos, 4096));
    return Ok();
  }

  bool ReadFile(InternetHandle file, void* buffer, uint32_t size, uint32_t* done) override {
    *done = 0;
    if (!Bound("InternetReadFile")) return false;
    Item* f = Readable(file);
    if (f == nullptr) return false;
    const size_t limit = Limit(*f);
    if (f->pos >= limit && limit < f->data.size() && net_->cut_error != 0) {
      return Fail(net_->cut_error);
    }
    const size_t n = std::min<size_t>(size, limit - f->pos);
    std::copy_n(f->data.data() + f->pos, n, static_cast<char*>(buffer));
    f->pos += n;
    *done = static_cast<uint32_t>(n);
    return Ok();
  }

  InternetHandle FtpOpenFile(InternetHandle connection, const std::string& name, uint32_t access,
                             uint32_t flags) override {
    if (!Bound("FtpOpenFileA")) return 0;
    net_->log.push_back("ftp-open " + name + " access " + Hex(access) + " flags " + Hex(flags));
    const Item* c = Find(connection, Kind::Connection);
    if (c == nullptr) return 0;
    if (c->service != inet::kServiceFtp) return FailHandle(kIncorrectHandleType);
    const NetServer* server = Server(c->host);
    const auto parts =
        Components((name.empty() || name[0] == '/' ? std::string() : c->cwd + "/") + name);
    std::optional<std::string> bytes;
    if (parts && server != nullptr) bytes = Contents(HostOf(*server, *parts));
    if (!bytes) {
      net_->last_response = "550 No such file or directory.";
      return FailHandle(inet::kErrorExtendedError);
    }
    net_->last_response = "150 File status okay. About to open data connection.";
    Item item;
    item.kind = Kind::FtpFile;
    item.data = std::move(*bytes);
    item.sent = true;
    return Add(item);
  }

  InternetHandle HttpOpenRequest(InternetHandle connection, const std::string& verb,
                                 const std::string& object, uint32_t flags) override {
    if (!Bound("HttpOpenRequestA")) return 0;
    net_->log.push_back("http-open " + verb + " " + object + " flags " + Hex(flags));
    const Item* c = Find(connection, Kind::Connection);
    if (c == nullptr) return 0;
    if (c->service != inet::kServiceHttp) return FailHandle(kIncorrectHandleType);
    Item item;
    item.kind = Kind::Request;
    item.host = c->host;
    item.cwd = object;
    return Add(item);
  }

  bool HttpSendRequest(InternetHandle request, const std::string& headers) override {
    if (!Bound("HttpSendRequestA")) return false;
    net_->log.push_back("send " + Escaped(headers));
    Item* r = Find(request, Kind::Request);
    if (r == nullptr) return false;
    const NetServer* server = Server(r->host);
    if (server == nullptr) return Fail(inet::kErrorNameNotResolved);
    const auto parts = Components(r->cwd);
    std::optional<std::string> bytes;
    if (parts) bytes = Contents(HostOf(*server, *parts));
    r->sent = true;
    r->length = server->content_length;
    r->status = bytes ? 200 : 404;
    r->data = bytes ? std::move(*bytes) : std::string(kNotFoundPage);
    r->pos = 0;
    return Ok();
  }

  bool HttpQueryInfo(InternetHandle request, uint32_t level, uint32_t capacity,
                     std::string* text) override {
    text->clear();
    if (!Bound("HttpQueryInfoA")) return false;
    const Item* r = Find(request, Kind::Request);
    if (r == nullptr) return false;
    if (!r->sent) return Fail(kIncorrectHandleState);
    std::string value;
    if (level == inet::kQueryContentLength) {
      if (!r->length) return Fail(inet::kErrorHeaderNotFound);
      value = std::to_string(r->data.size());
    } else if (level == inet::kQueryStatusCode) {
      value = std::to_string(r->status);
    } else if (level == inet::kQueryStatusText) {
      value = r->status == 200 ? "OK" : "File not found";
    } else {
      return Fail(inet::kErrorHeaderNotFound);
    }
    if (value.size() + 1 > capacity) return Fail(kInsufficientBuffer);
    *text = value;
    return Ok();
  }

  bool GetLastResponseInfo(uint32_t capacity, std::string* text) override {
    text->clear();
    if (!Bound("InternetGetLastResponseInfoA")) return false;
    if (net_->last_response.size() + 1 > capacity) return Fail(kInsufficientBuffer);
    *text = net_->last_response;
    return Ok();
  }

  bool SetTimeouts(InternetHandle handle, uint32_t milliseconds) override {
    if (net_->missing.count(inet::kSetOptionFunction) != 0) return Fail(inet::kProcNotFound);
    if (net_->handles.count(handle) == 0) return Fail(err::kInvalidHandle);
    net_->log.push_back("timeouts " + std::to_string(milliseconds));
    return Ok();
  }

  uint32_t LastError() const override { return error_; }

 private:
  bool Ok() {
    error_ = err::kSuccess;
    return true;
  }
  bool Fail(uint32_t code) {
    error_ = code;
    return false;
  }
  InternetHandle FailHandle(uint32_t code) {
    error_ = code;
    return 0;
  }
  bool Bound(const std::string& function) {
    if (bound_.count(function) != 0) return true;
    return Fail(inet::kProcNotFound);
  }
  InternetHandle Add(const Item& item) {
    const InternetHandle h = net_->next;
    net_->next += 4;
    net_->handles[h] = item;
    Ok();
    return h;
  }
  Item* Find(InternetHandle handle, Kind kind) {
    const auto it = net_->handles.find(handle);
    if (it == net_->handles.end() || it->second.kind != kind) {
      Fail(err::kInvalidHandle);
      return nullptr;
    }
    return &it->second;
  }
  Item* Readable(InternetHandle handle) {
    const auto it = net_->handles.find(handle);
    if (it == net_->handles.end() ||
        (it->second.kind != Kind::FtpFile && it->second.kind != Kind::Request)) {
      Fail(err::kInvalidHandle);
      return nullptr;
    }
    if (!it->second.sent) {
      Fail(kIncorrectHandleState);
      return nullptr;
    }
    return &it->second;
  }
  // Where the data of an open file ends for the reader: a cut transfer ends early (an error page
  // is never cut).
  size_t Limit(const Item& item) const {
    if (!net_->cut_after || (item.kind == Kind::Request && item.status != 200)) {
      return item.data.size();
    }
    return std::min<size_t>(item.data.size(), *net_->cut_after);
  }
  const NetServer* Server(const std::string& folded_host) const {
    const auto it = net_->servers.find(folded_host);
    return it == net_->servers.end() ? nullptr : &it->second;
  }
  static std::filesystem::path HostOf(const NetServer& server,
                                      const std::vector<std::string>& parts) {
    std::filesystem::path p = server.folder;
    for (const auto& part : parts) p /= PathFromUtf8(part);
    return p;
  }
  static std::optional<std::string> Contents(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::shared_ptr<NetState> net_;
  std::set<std::string> bound_;
  uint32_t error_ = err::kSuccess;
};

class MemoryInternet : public IInternet {
 public:
  explicit MemoryInternet(std::shared_ptr<NetState> net) : net_(std::move(net)) {}
  std::unique_ptr<IInternetLibrary> Load() override {
    if (!net_->loads) {
      error_ = err::kModNotFound;
      return nullptr;
    }
    error_ = err::kSuccess;
    return std::make_unique<MemoryInternetLibrary>(net_);
  }
  uint32_t LastError() const override { return error_; }

 private:
  std::shared_ptr<NetState> net_;
  uint32_t error_ = err::kSuccess;
};

}  // namespace

std::shared_ptr<NetState> MakeNetState() { return std::make_shared<NetState>(); }

std::unique_ptr<IInternet> MakeInternet(std::shared_ptr<NetState> net) {
  return std::make_unique<MemoryInternet>(std::move(net));
}

void MemoryPlatform::ServeHost(const std::string& host, const NetServer& server) {
  net_->servers[FoldCase(host)] = server;
}
void MemoryPlatform::StopServing(const std::string& host) { net_->servers.erase(FoldCase(host)); }
void MemoryPlatform::SetInternetLibrary(bool loads) { net_->loads = loads; }
void MemoryPlatform::RemoveInternetFunction(const std::string& name) { net_->missing.insert(name); }
void MemoryPlatform::CutTransfers(std::optional<uint64_t> bytes, uint32_t error) {
  net_->cut_after = bytes;
  net_->cut_error = error;
}
const std::vector<std::string>& MemoryPlatform::InternetLog() const { return net_->log; }
int MemoryPlatform::OpenInternetHandles() const { return static_cast<int>(net_->handles.size()); }

}  // namespace tmby::platform::memory
