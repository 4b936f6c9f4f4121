// The ztl program's --db text: a SQLite file, a PostgreSQL URI or a libpq
// key=value string, read into the settings of a connection.
#include "tools/ztl/ConnectionText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace ztl::cli {

namespace {

// The settings libpq knows; a --db text that starts with one of them is a
// connection string rather than a file name.
constexpr std::array<std::string_view, 43> PgKeywords{"host",
                                                      "hostaddr",
                                                      "port",
                                                      "dbname",
                                                      "user",
                                                      "password",
                                                      "passfile",
                                                      "channel_binding",
                                                      "connect_timeout",
                                                      "client_encoding",
                                                      "options",
                                                      "application_name",
                                                      "fallback_application_name",
                                                      "keepalives",
                                                      "keepalives_idle",
                                                      "keepalives_interval",
                                                      "keepalives_count",
                                                      "tcp_user_timeout",
                                                      "replication",
                                                      "gssencmode",
                                                      "sslmode",
                                                      "requiressl",
                                                      "sslcompression",
                                                      "sslcert",
                                                      "sslkey",
                                                      "sslpassword",
                                                      "sslrootcert",
                                                      "sslcrl",
                                                      "sslcrldir",
                                                      "sslsni",
                                                      "requirepeer",
                                                      "ssl_min_protocol_version",
                                                      "ssl_max_protocol_version",
                                                      "krbsrvname",
                                                      "gsslib",
                                                      "gssdelegation",
                                                      "service",
                                                      "target_session_attrs",
                                                      "load_balance_hosts",
                                                      "sslcertmode",
                                                      "require_auth",
                                                      "sslnegotiation",
                                                      "sslkeylogfile"};

bool IsKeyChar(char C) {
  return std::isalnum(static_cast<unsigned char>(C)) || C == '_';
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
  return Text.size() >= Prefix.size() &&
         std::equal(Prefix.begin(), Prefix.end(), Text.begin(), [](char A, char B) {
           return std::tolower(static_cast<unsigned char>(B)) == A;
         });
}

bool LooksLikeSettings(std::string_view Text) {
  std::size_t I = 0;
  while (I < Text.size() && (Text[I] == ' ' || Text[I] == '\t'))
    ++I;
  std::size_t End = I;
  while (End < Text.size() && IsKeyChar(Text[End]))
    ++End;
  const std::string_view Key = Text.substr(I, End - I);
  while (End < Text.size() && (Text[End] == ' ' || Text[End] == '\t'))
    ++End;
  return End < Text.size() && Text[End] == '=' &&
         std::find(PgKeywords.begin(), PgKeywords.end(), Key) != PgKeywords.end();
}

// Text with its %XX escapes decoded; false on a broken escape.
bool PercentDecode(std::string_view Text, std::string& Out) {
  Out.clear();
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != '%') {
      Out += Text[I];
      continue;
    }
    if (I + 2 >= Text.size() || !std::isxdigit(static_cast<unsigned char>(Text[I + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(Text[I + 2])))
      return false;
    Out += static_cast<char>(std::stoi(std::string(Text.substr(I + 1, 2)), nullptr, 16));
    I += 2;
  }
  return true;
}

// libpq's key=value syntax: values bare (backslash escapes a character) or
// in single quotes (with backslash escapes), settings separated by blanks.
bool ParseSettings(std::string_view Text, TConnectionTarget& Target, std::string& Error) {
  std::size_t I = 0;
  const auto SkipBlanks = [&] {
    while (I < Text.size() && std::isspace(static_cast<unsigned char>(Text[I])))
      ++I;
  };
  for (SkipBlanks(); I < Text.size(); SkipBlanks()) {
    const std::size_t KeyStart = I;
    while (I < Text.size() && IsKeyChar(Text[I]))
      ++I;
    const std::string Key(Text.substr(KeyStart, I - KeyStart));
    SkipBlanks();
    if (Key.empty() || I >= Text.size() || Text[I] != '=') {
      // The text itself is not shown: it may hold a password.
      Error = "expected key=value at character " + std::to_string(KeyStart + 1);
      return false;
    }
    ++I;
    SkipBlanks();
    std::string Value;
    if (I < Text.size() && Text[I] == '\'') {
      bool Closed = false;
      for (++I; I < Text.size(); ++I) {
        if (Text[I] == '\\' && I + 1 < Text.size()) {
          Value += Text[++I];
        } else if (Text[I] == '\'') {
          Closed = true;
          ++I;
          break;
        } else {
          Value += Text[I];
        }
      }
      if (!Closed) {
        Error = "unterminated quoted value of \"" + Key + "\" in the connection string";
        return false;
      }
    } else {
      for (; I < Text.size() && !std::isspace(static_cast<unsigned char>(Text[I])); ++I) {
        if (Text[I] == '\\' && I + 1 < Text.size())
          ++I;
        Value += Text[I];
      }
    }
    if (Key == "dbname")
      Target.DbName = Value;
    else
      Target.Settings.emplace_back(Key, Value);
  }
  return true;
}

// postgresql://[user[:password]@][host][:port][,...][/dbname][?key=value&...]
bool ParseUri(std::string_view Text, TConnectionTarget& Target, std::string& Error) {
  const std::size_t Scheme = Text.find("://");
  std::string_view Rest = Text.substr(Scheme + 3);
  std::string_view Query;
  if (const std::size_t Q = Rest.find('?'); Q != std::string_view::npos) {
    Query = Rest.substr(Q + 1);
    Rest = Rest.substr(0, Q);
  }
  std::string_view Path;
  if (const std::size_t Slash = Rest.find('/'); Slash != std::string_view::npos) {
    Path = Rest.substr(Slash + 1);
    Rest = Rest.substr(0, Slash);
  }
  std::string Decoded;
  if (const std::size_t At = Rest.rfind('@'); At != std::string_view::npos) {
    const std::string_view UserInfo = Rest.substr(0, At);
    Rest = Rest.substr(At + 1);
    const std::size_t Colon = UserInfo.find(':');
    if (!PercentDecode(UserInfo.substr(0, Colon), Decoded)) {
      Error = "bad %-escape in the user name of the URI";
      return false;
    }
    if (!Decoded.empty())
      Target.Settings.emplace_back("user", Decoded);
    if (Colon != std::string_view::npos) {
      if (!PercentDecode(UserInfo.substr(Colon + 1), Decoded)) {
        Error = "bad %-escape in the password of the URI";
        return false;
      }
      Target.Settings.emplace_back("password", Decoded);
    }
  }
  std::string Hosts, Ports;
  bool AnyHost = false, AnyPort = false;
  for (std::size_t Start = 0; Start <= Rest.size() && !Rest.empty();) {
    const std::size_t Comma = std::min(Rest.find(',', Start), Rest.size());
    const std::string_view HostPort = Rest.substr(Start, Comma - Start);
    std::string_view Host = HostPort, Port;
    if (!HostPort.empty() && HostPort[0] == '[') {
      const std::size_t Close = HostPort.find(']');
      if (Close == std::string_view::npos) {
        Error = "unclosed [ in a host of the URI";
        return false;
      }
      Host = HostPort.substr(1, Close - 1);
      const std::string_view After = HostPort.substr(Close + 1);
      if (!After.empty() && After[0] != ':') {
        Error = "unexpected text after ] in a host of the URI";
        return false;
      }
      Port = After.empty() ? After : After.substr(1);
    } else if (const std::size_t Colon = HostPort.find(':'); Colon != std::string_view::npos) {
      Host = HostPort.substr(0, Colon);
      Port = HostPort.substr(Colon + 1);
    }
    if (!std::all_of(Port.begin(), Port.end(),
                     [](char C) { return std::isdigit(static_cast<unsigned char>(C)); })) {
      Error = "the port \"" + std::string(Port) + "\" of the URI is not a number";
      return false;
    }
    if (!PercentDecode(Host, Decoded)) {
      Error = "bad %-escape in a host of the URI";
      return false;
    }
    if (Start > 0) {
      Hosts += ',';
      Ports += ',';
    }
    Hosts += Decoded;
    Ports += Port;
    AnyHost = AnyHost || !Decoded.empty();
    AnyPort = AnyPort || !Port.empty();
    Start = Comma + 1;
  }
  if (AnyHost)
    Target.Settings.emplace_back("host", Hosts);
  if (AnyPort)
    Target.Settings.emplace_back("port", Ports);
  if (!PercentDecode(Path, Decoded)) {
    Error = "bad %-escape in the database name of the URI";
    return false;
  }
  Target.DbName = Decoded;
  for (std::size_t Start = 0; Start < Query.size();) {
    const std::size_t Amp = std::min(Query.find('&', Start), Query.size());
    const std::string_view Pair = Query.substr(Start, Amp - Start);
    Start = Amp + 1;
    if (Pair.empty())
      continue;
    const std::size_t Eq = Pair.find('=');
    std::string Key, Value;
    if (Eq == std::string_view::npos || Eq == 0 || !PercentDecode(Pair.substr(0, Eq), Key) ||
        !PercentDecode(Pair.substr(Eq + 1), Value)) {
      Error = "the URI parameter \"" + std::string(Pair.substr(0, Eq)) +
              "\" is not written as key=value";
      return false;
    }
    if (Key == "dbname")
      Target.DbName = Value;
    else
      Target.Settings.emplace_back(Key, Value);
  }
  return true;
}

} // namespace

std::string ConnectOptionsText(const TConnectionTarget& Target) {
  std::string S;
  for (const auto& [Key, Value] : Target.Settings) {
    S += Key + "='";
    for (const char C : Value) {
      if (C == '\'' || C == '\\')
        S += '\\';
      S += C;
    }
    S += "' ";
  }
  return S;
}

bool ParseConnection(const std::string& Text, TConnectionTarget& Target, std::string& Error) {
  Target = TConnectionTarget{};
  if (StartsWithNoCase(Text, "postgresql://") || StartsWithNoCase(Text, "postgres://")) {
    Target.Postgres = true;
    if (!ParseUri(Text, Target, Error)) {
      Error = "invalid PostgreSQL URI: " + Error;
      return false;
    }
    return true;
  }
  if (LooksLikeSettings(Text)) {
    Target.Postgres = true;
    if (!ParseSettings(Text, Target, Error)) {
      Error = "invalid PostgreSQL connection string: " + Error;
      return false;
    }
    return true;
  }
  Target.File = Text;
  return true;
}

} // namespace ztl::cli
