#include "app/options/mqtt_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/options/option_table.h"

namespace tally {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A user name or password may carry reserved characters as %XX.
std::optional<std::string> percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0)
            return std::nullopt;
        out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
        i += 2;
    }
    return out;
}

}  // namespace

std::string ParseMqttUrl(MqttOptions& o, const std::string& url) {
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        o.tls = false;
        o.port = 1883;
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        o.tls = true;
        o.port = 8883;
        rest = url.substr(8);
    } else {
        return "give mqtt://[user[:password]@]host[:port] or mqtts://...";
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.find_first_of("/?#") != std::string::npos)
        return "a broker URL has no path, query or fragment";
    o.user.clear();
    o.urlPassword.reset();
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = rest.substr(0, at);
        rest = rest.substr(at + 1);
        const std::size_t colon = userInfo.find(':');
        const auto user = percentDecoded(userInfo.substr(0, colon));
        if (!user || user->empty()) return "the user name is missing or malformed";
        o.user = *user;
        if (colon != std::string::npos) {
            const auto password = percentDecoded(userInfo.substr(colon + 1));
            if (!password) return "the password is malformed (reserved characters as %XX)";
            o.urlPassword = *password;
        }
    }
    std::string port;
    if (!rest.empty() && rest.front() == '[') {  // [IPv6 address]
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return "an IPv6 address needs its closing ]";
        o.host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') return "unexpected text after the host";
        if (!after.empty()) port = after.substr(1);
        if (after == ":") return "the port is missing after :";
    } else {
        const std::size_t colon = rest.find(':');
        o.host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return "the port is missing after :";
        }
    }
    if (const std::string why = CheckHostName(o.host); !why.empty()) return why;
    if (!port.empty()) {
        const auto n = WholeNumber(port, 1, 65535);
        if (!n) return "ports go from 1 to 65535";
        o.port = static_cast<int>(*n);
    }
    o.enabled = true;
    return std::string();
}

std::optional<std::string> ReadFirstLine(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string line;
    std::getline(file, line);
    if (file.bad()) {
        error = "read error";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

namespace {

// Where the password in force comes from, for the messages.
std::string passwordSource(const MqttOptions& o, const char* environment) {
    if (o.urlPassword) return "the --mqtt URL";
    if (o.filePassword) return "--mqtt-password-file " + o.passwordFile;
    if (o.credentialPassword)
        return std::string("the credential ") + kMqttPasswordCredential + " ($" +
               kCredentialsVariable + "/" + kMqttPasswordCredential + ")";
    if (environment != nullptr && *environment != '\0')
        return std::string("$") + kMqttPasswordVariable;
    return std::string();
}

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

std::string sanitized(const std::string& text, bool idOnly) {
    std::string out = text;
    for (char& c : out) {
        const bool idChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (idOnly ? !idChar : (c == '+' || c == '#' || c == '/' || c == '\0')) c = '_';
    }
    return out.empty() ? std::string("unknown") : out;
}

}  // namespace

std::string MaskedPassword(const std::string& text) {
    // The password runs from the first ":" of a "user:password@" (not that of
    // "://") to the last "@", so a "@" or "://" inside the password is hidden too.
    const std::size_t at = text.rfind('@');
    if (at == std::string::npos) return text;
    for (std::size_t colon = text.find(':'); colon < at; colon = text.find(':', colon + 1)) {
        if (text.compare(colon, 3, "://") != 0)
            return text.substr(0, colon + 1) + "***" + text.substr(at);
    }
    return text;
}

std::string CheckHostName(const std::string& host) {
    if (host.empty()) return "the broker's host name is missing";
    const auto only = [](const std::string& text, const char* extra) {
        return std::all_of(text.begin(), text.end(), [extra](char c) {
            return hostChar(c) || (c != '\0' && std::strchr(extra, c) != nullptr);
        });
    };
    if (host.find(':') != std::string::npos) {
        // An IPv6 address, with a zone ("%eth0") for a link-local one.
        const std::size_t percent = host.find('%');
        const std::string address = host.substr(0, percent);
        const bool zoneRight = percent == std::string::npos ||
                               (percent + 1 < host.size() && only(host.substr(percent + 1), "."));
        if (!zoneRight || !std::all_of(address.begin(), address.end(), [](char c) {
                return hexDigit(c) >= 0 || c == ':' || c == '.';
            }))
            return "\"" + host + "\" is no IPv6 address";
        return std::string();
    }
    const std::string why = "\"" + host + "\" is no host name (letters, digits and - between dots)";
    if (host.size() > 253 || !only(host, ".")) return why;
    // Every label 1-63 characters; a final dot (a fully qualified name) is allowed.
    std::size_t start = 0;
    while (start < host.size()) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        if (dot == start || dot - start > 63) return why;
        start = dot + 1;
    }
    return std::string();
}

std::string CheckTopicPrefix(const std::string& prefix) {
    if (prefix.empty()) return "it is empty";
    if (prefix.find_first_of(std::string("+#\0", 3)) != std::string::npos)
        return "a topic prefix cannot hold +, # or a NUL";
    // The broker keeps topics starting with $ to itself ($SYS) and drops what clients send there.
    if (prefix.front() == '$')
        return "a topic prefix cannot start with $ (the broker's own topics)";
    if (prefix.front() == '/' || prefix.back() == '/')
        return "a topic prefix neither starts nor ends with /";
    if (prefix.find("//") != std::string::npos) return "a topic prefix has no empty level (//)";
    if (prefix.size() > 32'000) return "it is too long";
    return std::string();
}

std::string FinishMqttOptions(MqttOptions& o, const char* credentialsDirectory,
                              const char* environment) {
    if (!o.enabled) return std::string();
    // Under the service the credential is passed when its file exists, so a
    // missing one is no mistake; one that is there but empty or unreadable is.
    o.credentialPassword.reset();
    if (credentialsDirectory != nullptr && *credentialsDirectory != '\0') {
        const std::string path = std::string(credentialsDirectory) + "/" + kMqttPasswordCredential;
        const std::string what =
            std::string("the credential ") + kMqttPasswordCredential + " (" + path + ")";
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 || errno != ENOENT) {
            std::string error;
            const auto password = ReadFirstLine(path, error);
            if (!password) return what + " cannot be read: " + error;
            if (password->empty()) return what + ": its first line, the password, is empty";
            o.credentialPassword = *password;
        }
    }
    // A password alone is no login the client library can make: it would be
    // refused at every connection attempt.
    if (o.user.empty() && MqttPassword(o, environment)) {
        return "the password from " + passwordSource(o, environment) +
               " needs a user name in the --mqtt URL (" + (o.tls ? "mqtts" : "mqtt") +
               "://user@host)";
    }
    return std::string();
}

std::optional<std::string> MqttPassword(const MqttOptions& o, const char* environment) {
    if (o.urlPassword) return o.urlPassword;
    if (o.filePassword) return o.filePassword;
    if (o.credentialPassword) return o.credentialPassword;
    // Set but empty is taken as not set, as an emptied unit setting leaves it.
    if (environment != nullptr && *environment != '\0') return std::string(environment);
    return std::nullopt;
}

std::string DefaultMqttPrefix(const std::string& hostName) {
    return "tallyscope/" + sanitized(hostName, false);
}

std::string DefaultMqttClientId(const std::string& hostName, const std::string& port,
                                const std::string& prefix) {
    // Two lines may end in the same name (lineA/COM1, lineB/COM1) and two
    // cabinets may share a host name and port: the digest of all three tells
    // them apart. FNV-1a, the same on every machine and start.
    std::uint32_t digest = 2166136261u;
    for (const std::string* part : {&hostName, &port, &prefix}) {
        for (const char c : *part + '\0') {
            digest ^= static_cast<unsigned char>(c);
            digest *= 16777619u;
        }
    }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(digest));
    const bool number =
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::size_t slash = port.find_last_of('/');
    const std::string portName = number                       ? "port" + port
                                 : slash == std::string::npos ? port
                                                              : port.substr(slash + 1);
    // The names only help a reader of the broker's log: kept short.
    return "tallyscope-" + sanitized(hostName, true).substr(0, 24) + "-" +
           sanitized(portName, true).substr(0, 16) + "-" + hex;
}

}  // namespace tally
