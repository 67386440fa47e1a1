#include "mailbox/MailCli.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <ctime>

#include "mailbox/Compose.h"
#include "mailbox/Import.h"
#include "mailbox/MailStore.h"
#include "mailbox/Recorder.h"
#include "settings/Settings.h"
#include "text/Cp932.h"
#include "text/IniPath.h"

namespace nami::mailbox {

const char* MailCommandHelp() {
  return "Usage: nami mail COMMAND [OPTIONS]\n"
         "The local mailbox (mailbox.sqlite beside NAMI.INI), filled from the list and mail logs.\n"
         "\n"
         "  list [--unread] [--to-me] [--folder F] [--limit N]\n"
         "                  the newest messages (200 unless --limit)\n"
         "  show N          message number N, marked read\n"
         "  search TEXT     messages whose subject, from, to or body contain TEXT\n"
         "  import MAILLOG [LISTLOG]\n"
         "                  add the messages of a mail log (and list log)\n"
         "  rebuild         add everything the profile's logs hold; a damaged store\n"
         "                  is first set aside (renamed with the date)\n"
         "  compose --to CALL [--at BBS] [--bulletin] --subject S < BODY\n"
         "                  write a mail file into outbox/ and queue it in the first\n"
         "                  free send slot\n"
         "\n"
         "  --ini FILE      use FILE as the settings file\n"
         "  --demo          the demo's settings file\n"
         "  --profile NAME  the station profile (default: the one a new window uses);\n"
         "                  a FILE.nmi argument selects its profile as well\n"
         "  --json          print JSON (UTF-8) for scripts\n";
}

std::string ToLocale(const std::string& utf8) {
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || std::strcmp(codeset, "UTF-8") == 0 || IsValidUtf8(utf8) == false) return utf8;
  iconv_t cd = iconv_open(codeset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string out;
  char* in = const_cast<char*>(utf8.data());
  std::size_t left = utf8.size();
  char buf[4096];
  while (left > 0) {
    char* o = buf;
    std::size_t room = sizeof buf;
    const std::size_t rc = iconv(cd, &in, &left, &o, &room);
    out.append(buf, static_cast<std::size_t>(o - buf));
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A character the locale has no form for: "?" and on to the next.
      out += '?';
      std::size_t n = 1;
      while (n < left && (static_cast<unsigned char>(in[n]) & 0xC0) == 0x80) ++n;
      in += n;
      left -= n;
    }
  }
  iconv_close(cd);
  return out;
}

namespace {

struct SOptions {
  std::string command;
  std::vector<std::string> words;
  std::string ini, profile, document;
  bool demo = false, json = false, unread = false, toMe = false, bulletin = false;
  std::string folder, to, at, subject;
  int limit = 200;
  std::string error;
};

SOptions Parse(const std::vector<std::string>& args) {
  SOptions o;
  auto value = [&](std::size_t& i, std::string& into) {
    if (i + 1 >= args.size()) {
      o.error = args[i] + " needs a value";
      return;
    }
    into = args[++i];
  };
  for (std::size_t i = 0; i < args.size() && o.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--ini") value(i, o.ini);
    else if (a.rfind("--ini=", 0) == 0) o.ini = a.substr(6);
    else if (a == "--demo") o.demo = true;
    else if (a == "--profile") value(i, o.profile);
    else if (a == "--json") o.json = true;
    else if (a == "--unread") o.unread = true;
    else if (a == "--to-me") o.toMe = true;
    else if (a == "--bulletin") o.bulletin = true;
    else if (a == "--folder") value(i, o.folder);
    else if (a == "--to") value(i, o.to);
    else if (a == "--at") value(i, o.at);
    else if (a == "--subject") value(i, o.subject);
    else if (a == "--limit") {
      std::string n;
      value(i, n);
      o.limit = std::atoi(n.c_str());
    } else if (a.size() > 1 && a[0] == '-') o.error = "unknown option: " + a;
    else if (o.command.empty()) o.command = a;
    else if (a.size() > 4 && a.compare(a.size() - 4, 4, ".nmi") == 0 && o.command != "import") o.document = a;
    else o.words.push_back(a);
  }
  return o;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string RowJson(const SMessageRow& r, bool full) {
  std::string j = "{\"number\":" + std::to_string(r.number) + ",\"bbs\":" + JsonString(r.bbs) +
                  ",\"type\":" + JsonString(r.type) + ",\"status\":" + JsonString(r.status) +
                  ",\"from\":" + JsonString(r.from) + ",\"to\":" + JsonString(r.to) + ",\"at\":" + JsonString(r.at) +
                  ",\"date\":" + JsonString(r.date) + ",\"subject\":" + JsonString(r.subject) +
                  ",\"folder\":" + JsonString(r.folder) + ",\"unread\":" + (r.unread ? "true" : "false");
  if (full) j += ",\"headers\":" + JsonString(r.headers) + ",\"body\":" + JsonString(r.body);
  return j + "}";
}

std::string RowLine(const SMessageRow& r) {
  char head[48];
  std::snprintf(head, sizeof head, "%7lld %c %-2s ", r.number, r.unread ? '*' : ' ', (r.type + r.status).c_str());
  std::string to = r.to + (r.at.empty() ? "" : "@" + r.at);
  auto pad = [](std::string s, std::size_t w) {
    if (s.size() < w) s.append(w - s.size(), ' ');
    return s;
  };
  return head + pad(r.from, 9) + " " + pad(to, 16) + " " + pad(r.date, 12) + " " + r.subject;
}

class CCli {
 public:
  CCli(SOptions o, const SMailCliEnv& env) : o_(std::move(o)), env_(env) {}

  int Run() {
    if (o_.command.empty() || o_.command == "help") {
      std::fputs(MailCommandHelp(), o_.command.empty() ? env_.err : env_.out);
      return o_.command.empty() ? 2 : 0;
    }
    const std::string iniPath = o_.demo ? env_.demoIniPath : ResolveIniPath(o_.ini);
    settings_ = std::make_unique<CSettings>(iniPath);
    std::string section = CSettings::UntitledTitle();
    if (!o_.profile.empty()) section = Utf8ToCp932(o_.profile);
    if (!o_.document.empty()) section = settings_->ProfileForDocument(o_.document);
    settings_->SetProfileSection(section);
    profile_ = Cp932ToUtf8(section);
    bbs_ = BbsCallOf(*settings_);
    store_ = std::make_unique<CMailStore>(CMailStore::PathBeside(iniPath));

    const std::string& c = o_.command;
    if (c == "compose") return Compose();
    if (c == "rebuild") return Rebuild();
    if (c == "list") return List();
    if (c == "show") return Show();
    if (c == "search") return Search();
    if (c == "import") return Import();
    return Usage("unknown mail command: " + c);
  }

 private:
  int Usage(const std::string& why) {
    Err("nami mail: " + why + "\n" + MailCommandHelp());
    return 2;
  }
  void Out(const std::string& utf8) { std::fputs((o_.json ? utf8 : ToLocale(utf8)).c_str(), env_.out); }
  void Err(const std::string& utf8) { std::fputs(ToLocale(utf8).c_str(), env_.err); }
  int Fail(const StoreFault& f) {
    Err("nami mail: " + f.Text() + "\n");
    return 1;
  }
  static std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

  // Runs `query` on the store opened for reading only, and once more
  // (shared with the writer) when another process began writing meanwhile.
  // A store not made yet holds nothing.
  template <class Fn>
  StoreFault ReadStore(Fn query) {
    for (int attempt = 0;; ++attempt) {
      bool missing = false;
      if (StoreFault f = store_->OpenForReading(missing, attempt > 0)) return f;
      if (missing) {
        Err("nami mail: no mailbox yet (" + store_->Path() + "); \"nami mail rebuild\" fills it from the logs\n");
        return {};
      }
      const StoreFault f = query();
      if (f || attempt > 0 || !store_->ChangedWhileRead()) {
        if (!store_->ReadingNote().empty()) Err("nami mail: " + store_->ReadingNote() + "\n");
        return f;
      }
      store_->Close();
    }
  }

  void PrintRows(const std::vector<SMessageRow>& rows) {
    if (o_.json) {
      std::string j = "[";
      for (std::size_t i = 0; i < rows.size(); ++i) j += (i ? "," : "") + RowJson(rows[i], false);
      Out(j + "]\n");
      return;
    }
    for (const SMessageRow& r : rows) Out(RowLine(r) + "\n");
  }

  int List() {
    SQuery q;
    q.profile = profile_;
    q.unreadOnly = o_.unread;
    q.folder = o_.folder;
    q.limit = o_.limit;
    if (o_.toMe) {
      std::string me = settings_->MyCall();
      me = me.substr(0, me.find('-'));
      if (me.empty()) {
        Err("nami mail: --to-me needs the station's call (MYCALL in the settings)\n");
        return 1;
      }
      q.toCall = me;
    }
    std::vector<SMessageRow> rows;
    if (StoreFault f = ReadStore([&] { return store_->List(q, rows); })) return Fail(f);
    PrintRows(rows);
    return 0;
  }

  int Show() {
    if (o_.words.size() != 1 || o_.words[0].find_first_not_of("0123456789") != std::string::npos)
      return Usage("show needs one message number");
    const long long number = std::atoll(o_.words[0].c_str());
    SMessageRow r;
    bool found = false;
    auto find = [&] { return store_->Find(profile_, number, r, found); };
    // Shown is marked read; a store that cannot be written is only shown.
    StoreFault f = store_->Open();
    const bool readOnly = f.kind == FaultKind::ReadOnly || f.kind == FaultKind::CannotOpen;
    if (readOnly) f = ReadStore(find);
    else if (!f) f = find();
    if (f) return Fail(f);
    if (!found) {
      Err("nami mail: no message " + o_.words[0] + " in the mailbox of profile " + profile_ + "\n");
      return 1;
    }
    if (r.unread && !readOnly) {
      if (StoreFault mf = store_->MarkRead(r.id, Now())) Err("nami mail: " + mf.Text() + "\n");
    }
    if (o_.json) {
      Out(RowJson(r, true) + "\n");
    } else {
      Out(r.headers.empty() ? RowLine(r) + "\n" : r.headers + "\n");
      Out("\n" + r.body + "\n");
    }
    return 0;
  }

  int Search() {
    if (o_.words.empty()) return Usage("search needs a text");
    std::string text;
    for (const std::string& w : o_.words) text += (text.empty() ? "" : " ") + w;
    std::vector<SMessageRow> rows;
    if (StoreFault f = ReadStore([&] { return store_->Search(profile_, text, o_.limit, rows); })) return Fail(f);
    PrintRows(rows);
    return 0;
  }

  int ImportFrom(const std::string& mailLog, const std::string& listLog) {
    SImportSource src{profile_, bbs_, mailLog, listLog, settings_->Raw(keys::Prompt)};
    SImportReport report;
    const StoreFault f = ImportLogs(*store_, src, report, Now());
    if (o_.json) {
      std::string j = "{\"added\":" + std::to_string(report.messagesAdded) +
                      ",\"known\":" + std::to_string(report.messagesKnown) +
                      ",\"listEntries\":" + std::to_string(report.listAdded) + ",\"skipped\":[";
      for (std::size_t i = 0; i < report.skipped.size(); ++i) j += (i ? "," : "") + JsonString(report.skipped[i]);
      Out(j + "]}\n");
    } else {
      Out(std::to_string(report.messagesAdded) + " message(s) added, " + std::to_string(report.messagesKnown) +
          " already in the mailbox, " + std::to_string(report.listAdded) + " list entries added\n");
      for (const std::string& s : report.skipped) Err("skipped: " + s + "\n");
    }
    return f ? Fail(f) : 0;
  }

  int Import() {
    if (o_.words.empty() || o_.words.size() > 2) return Usage("import needs MAILLOG [LISTLOG]");
    if (StoreFault f = store_->Open()) return Fail(f);
    return ImportFrom(o_.words[0], o_.words.size() > 1 ? o_.words[1] : std::string());
  }

  int Rebuild() {
    StoreFault f = store_->Open();
    if (f.kind == FaultKind::Corrupt) {
      std::string moved;
      if (StoreFault sf = store_->SetAside(moved)) return Fail(sf);
      Err("nami mail: the damaged mailbox was set aside as " + moved + "\n");
      f = store_->Open();
    }
    if (f) return Fail(f);
    return ImportFrom(settings_->MailFilePath(), settings_->ListFilePath());
  }

  int Compose() {
    if (o_.to.empty()) return Usage("compose needs --to CALL");
    SComposeRequest req;
    req.to = Upper(o_.to);
    req.at = Upper(o_.at);
    req.bulletin = o_.bulletin;
    req.subject = o_.subject;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, env_.in)) > 0) req.body.append(buf, n);
    if (!IsValidUtf8(req.body) || !IsValidUtf8(req.subject)) {
      Err("nami mail: the subject and body must be UTF-8 text\n");
      return 1;
    }
    const SComposeResult r = ComposeMail(*settings_, req, Now());
    if (!r.ok) {
      Err("nami mail: " + r.error + "\n");
      return 1;
    }
    // The store learns of it; the mail file and sendN are what the run uses.
    SOutgoing out;
    out.profile = profile_;
    out.bbs = bbs_;
    out.to = req.to;
    out.at = req.at;
    out.bulletin = req.bulletin;
    out.subject = req.subject;
    out.body = req.body;
    out.file = r.file;
    out.state = "queued";
    out.slot = r.slot;
    out.createdAt = Now();
    StoreFault f = store_->Open();
    if (!f) f = store_->AddOutgoing(out);
    if (f) Err("nami mail: warning: " + f.Text() + "\n");
    if (o_.json)
      Out("{\"file\":" + JsonString(r.file) + ",\"slot\":" + std::to_string(r.slot + 1) +
          ",\"command\":" + JsonString(r.commandLine) + "}\n");
    else
      Out("queued in send" + std::to_string(r.slot + 1) + ": " + r.file + " (" + r.commandLine + ")\n");
    return 0;
  }

  SOptions o_;
  const SMailCliEnv& env_;
  std::unique_ptr<CSettings> settings_;
  std::unique_ptr<CMailStore> store_;
  std::string profile_, bbs_;
};

}  // namespace

int RunMailCommand(const std::vector<std::string>& args, const SMailCliEnv& env) {
  SOptions o = Parse(args);
  if (!o.error.empty()) {
    std::fprintf(env.err, "nami mail: %s\n%s", o.error.c_str(), MailCommandHelp());
    return 2;
  }
  return CCli(std::move(o), env).Run();
}

int RunMailProgram(const std::vector<std::string>& args) {
  std::setlocale(LC_ALL, "");
  SMailCliEnv env;
  // Asked for only with --demo: finding it makes the demo's folder. The
  // demo's logs are named relative to its folder, as the demo run left them;
  // an import keeps the caller's folder for the paths it is given.
  if (std::find(args.begin(), args.end(), "--demo") != args.end()) {
    env.demoIniPath = DemoIniPath();
    const std::string dir = env.demoIniPath.substr(0, env.demoIniPath.rfind('/'));
    if (!args.empty() && args[0] != "import" && ::chdir(dir.c_str()) != 0) std::perror("nami: demo folder");
  }
  return RunMailCommand(args, env);
}

}  // namespace nami::mailbox
