#include "link/portsystem.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "base/convert.h"
#include "base/textfile.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

// Udev reads its rules from these folders; a file name in an earlier one
// hides the same name in the later ones.
const char* const kRulesFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                     "/lib/udev/rules.d"};
const char* const kBrlttyPrograms[] = {"/usr/bin/brltty", "/bin/brltty", "/usr/sbin/brltty"};

class Reader {
public:
    Reader(const std::string& root, PortSystem& out) : root_(root), out_(out) {}

    fs::path at(const std::string& systemPath) const { return fs::path(root_ + systemPath); }

    // The file's text; nullopt (and the path named) when it cannot be read.
    std::optional<std::string> text(const std::string& systemPath) {
        std::string content;
        if (ReadWholeFile(at(systemPath).string(), content))
            return content;
        out_.unreadable.push_back(systemPath);
        return std::nullopt;
    }
    // The first line, without blanks around it.
    std::optional<std::string> line(const std::string& systemPath) {
        const auto content = text(systemPath);
        if (!content)
            return std::nullopt;
        const auto lines = SplitLines(*content);
        return TrimBlanks(lines.empty() ? "" : lines.front());
    }
    std::optional<std::string> lineIfPresent(const std::string& systemPath) {
        std::error_code ec;
        return fs::exists(at(systemPath), ec) ? line(systemPath) : std::nullopt;
    }

    void readPort(SerialPortFacts& port);
    void readByIdLinks();
    void readUser();
    void readGroups();
    void readProcesses();
    void readRules();

private:
    std::string root_;
    PortSystem& out_;
};

std::optional<unsigned> number(const std::string& text) {
    const std::int32_t value = ParseNumber(TrimBlanks(text));
    return value < 0 ? std::nullopt : std::optional<unsigned>(static_cast<unsigned>(value));
}

std::vector<std::string> fields(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}

void Reader::readPort(SerialPortFacts& port) {
    const std::string tty = "/sys/class/tty/" + port.name;
    std::error_code ec;
    const fs::path driver = fs::read_symlink(at(tty + "/device/driver"), ec);
    if (ec)
        out_.unreadable.push_back(tty + "/device/driver");
    else
        port.driver = driver.filename().string();

    // The USB device is the first folder above the port that has an idVendor.
    const fs::path sys = fs::weakly_canonical(at("/sys"), ec);
    for (fs::path dir = fs::canonical(at(tty + "/device"), ec); !ec && dir.has_relative_path() &&
                                                               dir != sys && dir.string().rfind(sys.string(), 0) == 0;
         dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        const std::string usb = "/sys" + dir.string().substr(sys.string().size());
        port.vendorId = line(usb + "/idVendor").value_or("?");
        port.productId = line(usb + "/idProduct").value_or("?");
        port.product = lineIfPresent(usb + "/product").value_or("");
        break;
    }
    if (port.driver == "ftdi_sio") {
        const std::string latency = tty + "/device/latency_timer";
        const auto value = line(latency);
        if (value && number(*value))
            port.latencyTimerMs = static_cast<int>(*number(*value));
        else if (value)
            out_.unreadable.push_back(latency);
    }

    struct stat node {};
    if (::stat(at(port.path()).c_str(), &node) != 0) {
        out_.unreadable.push_back(port.path());
        return;
    }
    port.nodeRead = true;
    port.ownerUid = node.st_uid;
    port.ownerGid = node.st_gid;
    port.mode = node.st_mode & 07777;
}

void Reader::readByIdLinks() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(at("/dev/serial/by-id"), ec)) {
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (ec)
            continue;
        for (auto& port : out_.ports)
            if (port.byId.empty() && target.filename() == port.name)
                port.byId = "/dev/serial/by-id/" + entry.path().filename().string();
    }
}

void Reader::readUser() {
    const auto status = text("/proc/self/status");
    if (!status)
        return;
    for (const std::string& entry : SplitLines(*status)) {
        const auto colon = entry.find(':');
        const std::string key = entry.substr(0, colon);
        if (colon == std::string::npos || (key != "Uid" && key != "Gid" && key != "Groups"))
            continue;
        std::stringstream values(entry.substr(colon + 1));
        std::string value;
        for (bool first = true; values >> value; first = false) {
            const auto id = number(value);
            if (!id)
                continue;
            if (key == "Uid" && first) {
                out_.user.uid = *id;
                out_.user.known = true;
            } else if (key == "Groups" || (key == "Gid" && first)) {
                out_.user.sessionGids.push_back(*id);
            }
        }
    }
    if (!out_.user.known) {
        out_.unreadable.push_back("/proc/self/status");
        return;
    }
    const auto passwd = text("/etc/passwd");
    for (const std::string& entry : passwd ? SplitLines(*passwd) : std::vector<std::string>{}) {
        const auto parts = fields(entry, ':');
        if (parts.size() >= 4 && number(parts[2]) == out_.user.uid) {
            out_.user.name = parts[0];
            out_.user.loginGid = number(parts[3]);
            break;
        }
    }
}

void Reader::readGroups() {
    const auto group = text("/etc/group");
    for (const std::string& entry : group ? SplitLines(*group) : std::vector<std::string>{}) {
        const auto parts = fields(entry, ':');
        if (parts.size() < 3 || !number(parts[2]))
            continue;
        GroupEntry g{parts[0], *number(parts[2]), {}};
        if (parts.size() >= 4)
            for (const auto& member : fields(parts[3], ','))
                if (!member.empty())
                    g.members.push_back(member);
        out_.groups.push_back(std::move(g));
    }
}

void Reader::readProcesses() {
    std::error_code ec;
    if (const fs::path self = fs::read_symlink(at("/proc/self"), ec); !ec)
        out_.ownPid = static_cast<int>(number(self.filename().string()).value_or(0));
    for (const auto& entry : fs::directory_iterator(at("/proc"), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        ProcessFacts process{static_cast<int>(number(name).value_or(0)), "", {}};
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(entry.path() / "fd", fdError)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd.path(), linkError).string();
            if (!linkError && target.rfind("/dev/", 0) == 0)
                process.openDevices.push_back(target);
        }
        const std::string comm = "/proc/" + name + "/comm";
        const auto command = lineIfPresent(comm);
        process.command = command.value_or("");
        if (!process.openDevices.empty() || process.command == "ModemManager")
            out_.processes.push_back(std::move(process));
    }
    if (ec)
        out_.unreadable.push_back("/proc");
}

void Reader::readRules() {
    std::vector<std::string> names;
    for (const char* folder : kRulesFolders) {
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(at(folder), ec))
            if (entry.path().extension() == ".rules")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const std::string name = file.filename().string();
            if (std::find(names.begin(), names.end(), name) != names.end())
                continue;
            names.push_back(name);
            const std::string path = std::string(folder) + "/" + name;
            // A name linked to /dev/null is how a rules file is switched off.
            std::error_code linkError;
            if (fs::read_symlink(file, linkError) == "/dev/null")
                continue;
            if (const auto content = text(path))
                out_.udevRules.push_back({path, SplitLines(*content)});
        }
    }
}

}  // namespace

PortSystem ReadPortSystem(const std::string& root) {
    PortSystem system;
    Reader reader(root == "/" ? "" : root, system);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(reader.at("/sys/class/tty"), ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code deviceError;
        if (!fs::exists(entry.path() / "device", deviceError))
            continue;  // a virtual terminal or a pseudo-terminal
        // The 8250 driver lists every port it might have; type 0 is no UART.
        if (reader.lineIfPresent("/sys/class/tty/" + name + "/type") == "0")
            continue;
        SerialPortFacts port;
        port.name = name;
        system.ports.push_back(port);
    }
    if (ec)
        system.unreadable.push_back("/sys/class/tty");
    std::sort(system.ports.begin(), system.ports.end(),
              [](const SerialPortFacts& a, const SerialPortFacts& b) { return a.name < b.name; });
    for (auto& port : system.ports)
        reader.readPort(port);
    reader.readByIdLinks();
    reader.readUser();
    reader.readGroups();
    reader.readProcesses();
    reader.readRules();
    for (const char* program : kBrlttyPrograms)
        system.brlttyInstalled = system.brlttyInstalled || fs::exists(reader.at(program), ec);
    return system;
}

const GroupEntry* FindGroup(const PortSystem& system, unsigned gid) {
    for (const auto& group : system.groups)
        if (group.gid == gid)
            return &group;
    return nullptr;
}

bool RuleNamesAdapter(const std::string& line, const std::string& vendorId, const std::string& productId) {
    if (vendorId.empty() || productId.empty())
        return false;
    const std::string rule = LowerCase(line);
    const std::string vendor = LowerCase(vendorId);
    const std::string product = LowerCase(productId);
    if (rule.find("idvendor}==\"" + vendor + "\"") != std::string::npos &&
        rule.find("idproduct}==\"" + product + "\"") != std::string::npos)
        return true;
    const auto bare = [](const std::string& id) {
        const auto first = id.find_first_not_of('0');
        return first == std::string::npos ? std::string("0") : id.substr(first);
    };
    return rule.find("product}==\"" + bare(vendor) + "/" + bare(product) + "/") != std::string::npos;
}

}  // namespace vx
