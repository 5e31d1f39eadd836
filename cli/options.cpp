#include "options.h"

#include <windows.h>
#include <cstdlib>
#include "device/names.h"

namespace cli {

namespace {

constexpr UINT kGbk = 936;

// Which commands an option applies to, one bit per command.
constexpr unsigned Bit(Command c) { return 1u << static_cast<unsigned>(c); }
constexpr unsigned kActions = Bit(Command::Disable) | Bit(Command::Enable) | Bit(Command::Delete) |
                              Bit(Command::Restore);
constexpr unsigned kPhone = kActions | Bit(Command::List) | Bit(Command::Undo) | Bit(Command::Record);
constexpr unsigned kPhones = kPhone | Bit(Command::Users);
constexpr unsigned kWireless = Bit(Command::Discover) | Bit(Command::Pair) | Bit(Command::Connect);
constexpr unsigned kAdb = kPhones | Bit(Command::Devices) | kWireless;
constexpr unsigned kEvery = ~0u;

enum class Opt {
    Device, All, User, DryRun, Yes, Json, Ansi, Adb, RecordFile, NoNames, NamesFile, From, State, Kind, Filter,
    ConnectTo, End, Help, Version
};

struct OptionInfo {
    const wchar_t* name;
    Opt opt;
    bool takesValue;
    unsigned commands;
};

const OptionInfo kOptions[] = {
    {L"--device", Opt::Device, true, kPhones},
    {L"--all", Opt::All, false, kPhones},
    {L"--user", Opt::User, true, kPhone},
    {L"--dry-run", Opt::DryRun, false, kActions | Bit(Command::Undo)},
    {L"--yes", Opt::Yes, false, kActions},
    {L"--json", Opt::Json, false, kAdb | Bit(Command::OtherAdb)},
    {L"--ansi", Opt::Ansi, false, kEvery},
    {L"--adb", Opt::Adb, true, kAdb},
    {L"--record-file", Opt::RecordFile, true, kActions | Bit(Command::List) | Bit(Command::Undo) | Bit(Command::Record)},
    {L"--no-names", Opt::NoNames, false, kActions | Bit(Command::List) | Bit(Command::Undo) | Bit(Command::Record)},
    {L"--names-file", Opt::NamesFile, true, kActions | Bit(Command::List) | Bit(Command::Undo) | Bit(Command::Record)},
    {L"--from", Opt::From, true, kActions},
    {L"--state", Opt::State, true, Bit(Command::List)},
    {L"--kind", Opt::Kind, true, Bit(Command::List)},
    {L"--filter", Opt::Filter, true, Bit(Command::List)},
    {L"--connect", Opt::ConnectTo, true, Bit(Command::Pair)},
    {L"--end", Opt::End, false, Bit(Command::OtherAdb)},
    {L"--help", Opt::Help, false, kEvery},
    {L"--version", Opt::Version, false, kEvery},
};

struct CommandInfo {
    const wchar_t* word;
    Command command;
};

const CommandInfo kCommands[] = {
    {L"devices", Command::Devices}, {L"list", Command::List},       {L"disable", Command::Disable},
    {L"enable", Command::Enable},   {L"delete", Command::Delete},   {L"restore", Command::Restore},
    {L"undo", Command::Undo},       {L"record", Command::Record},   {L"users", Command::Users},
    {L"help", Command::Help},
    {L"discover", Command::Discover}, {L"pair", Command::Pair},     {L"connect", Command::Connect},
    {L"other-adb", Command::OtherAdb},
};

const OptionInfo* FindOption(const std::wstring& name) {
    for (const OptionInfo& i : kOptions)
        if (name == i.name) return &i;
    return nullptr;
}

bool FindCommand(const std::wstring& word, Command* c) {
    for (const CommandInfo& i : kCommands)
        if (word == i.word) return *c = i.command, true;
    return false;
}

// An argument as a message quotes it: one line, not too long.
std::string Quoted(const std::wstring& arg) { return "“" + Narrow(arg.substr(0, 80)) + "”"; }

bool OneOf(const std::string& value, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (value == w) return true;
    return false;
}

struct Parsed {
    const OptionInfo* info;
    std::wstring value;
};

bool Apply(const Parsed& p, Options* o, std::string* error) {
    std::string v = Narrow(p.value);
    switch (p.info->opt) {
    case Opt::Device: o->device = v; break;
    case Opt::All: o->all = true; break;
    case Opt::User: {
        wchar_t* end = nullptr;
        long user = std::wcstol(p.value.c_str(), &end, 10);
        if (p.value.empty() || *end || user < 0 || user > 1000000) {
            *error = "--user 需要一个非负整数（用户编号），而不是" + Quoted(p.value);
            return false;
        }
        o->user = static_cast<int>(user);
        break;
    }
    case Opt::DryRun: o->dryRun = true; break;
    case Opt::Yes: o->yes = true; break;
    case Opt::Json: o->json = true; break;
    case Opt::Ansi: o->ansi = true; break;
    case Opt::Adb: o->adb = p.value; break;
    case Opt::RecordFile: o->recordFile = p.value; break;
    case Opt::NoNames: o->appNames = false; break;
    case Opt::NamesFile: o->namesFile = p.value; break;
    case Opt::From: o->fromFile = p.value; break;
    case Opt::State:
        if (!OneOf(v, {"enabled", "disabled", "deleted"})) {
            *error = "--state 只能是 enabled、disabled 或 deleted，而不是" + Quoted(p.value);
            return false;
        }
        o->state = v;
        break;
    case Opt::Kind:
        if (!OneOf(v, {"system", "user"})) {
            *error = "--kind 只能是 system 或 user，而不是" + Quoted(p.value);
            return false;
        }
        o->kind = v;
        break;
    case Opt::Filter: o->filter = v; break;
    case Opt::ConnectTo: o->connectTo = v; break;
    case Opt::End: o->endOther = true; break;
    case Opt::Help:
    case Opt::Version: break;
    }
    return true;
}

} // namespace

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Widen(const std::string& gbk) {
    if (gbk.empty()) return std::wstring();
    int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), &w[0], n);
    return w;
}

bool IsAction(Command c) { return (Bit(c) & kActions) != 0; }

bool ParseArguments(const std::vector<std::wstring>& args, Options* o, std::string* error) {
    *o = Options();
    bool haveCommand = false, help = false, version = false, optionsEnd = false;
    std::vector<Parsed> given;
    std::vector<std::wstring> words;
    for (size_t i = 0; i < args.size(); i++) {
        const std::wstring& a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != L'-') {
            if (!haveCommand && !optionsEnd) {
                if (!FindCommand(a, &o->command)) {
                    *error = "不认识的命令" + Quoted(a) + "，可用的命令见 adbctl --help";
                    return false;
                }
                haveCommand = true;
            } else {
                words.push_back(a);
            }
            continue;
        }
        if (a == L"--") {
            optionsEnd = true;
            continue;
        }
        // "--name=value" and "--name value" alike.
        size_t eq = a.find(L'=');
        std::wstring name = a.substr(0, eq);
        const OptionInfo* info = FindOption(name);
        if (!info) {
            *error = "不认识的选项" + Quoted(name) + "，可用的选项见 adbctl --help";
            return false;
        }
        Parsed p{info, std::wstring()};
        if (info->takesValue) {
            if (eq != std::wstring::npos) p.value = a.substr(eq + 1);
            else if (i + 1 < args.size()) p.value = args[++i];
            else {
                *error = "选项 " + Narrow(name) + " 后面缺少它的值";
                return false;
            }
        } else if (eq != std::wstring::npos) {
            *error = "选项 " + Narrow(name) + " 不带值";
            return false;
        }
        help = help || info->opt == Opt::Help;
        version = version || info->opt == Opt::Version;
        given.push_back(p);
    }
    if (help || (!haveCommand && !version)) {
        o->command = Command::Help;
        return true;
    }
    if (version) {
        o->command = Command::Version;
        return true;
    }
    if (o->command == Command::Help) return true;
    for (const Parsed& p : given) {
        if (!(p.info->commands & Bit(o->command))) {
            *error = "选项 " + Narrow(p.info->name) + " 不能用于这个命令";
            return false;
        }
        if (!Apply(p, o, error)) return false;
    }
    // pair takes the pairing address and the code; connect an address or nothing.
    if (o->command == Command::Pair || o->command == Command::Connect) {
        size_t most = o->command == Command::Pair ? 2 : 1;
        if (words.size() > most) {
            *error = "多出了" + Quoted(words[most]);
            return false;
        }
        if (o->command == Command::Pair && words.size() < 2) {
            *error = "pair 要手机配对对话框里的地址和六位配对码：adbctl pair 192.168.1.23:41234 123456";
            return false;
        }
        for (const std::wstring& w : words) o->arguments.push_back(Narrow(w));
        return true;
    }
    if (!words.empty() && !IsAction(o->command)) {
        *error = "这个命令不带参数，多出了" + Quoted(words[0]);
        return false;
    }
    for (const std::wstring& w : words) {
        std::string name = Narrow(w);
        // A name that would change the meaning of the script is refused before anything runs.
        if (!dev::IsPackageName(name)) {
            *error = Narrow(w.substr(0, 80)) + "：" + dev::RefusalText(name);
            return false;
        }
        o->names.push_back(name);
    }
    if (IsAction(o->command) && o->names.empty() && o->fromFile.empty()) {
        *error = "没有给出包名：在命令后写包名，或用 --from 列表文件";
        return false;
    }
    if (o->all && !o->device.empty()) {
        *error = "--device 和 --all 只能用一个";
        return false;
    }
    return true;
}

std::string HelpText() {
    return "用法：adbctl 命令 [包名...] [选项]\n"
           "\n"
           "命令：\n"
           "  devices                       列出 adb 看到的每台手机：序列号、状态、型号和提示\n"
           "  list                          列出手机上的每个应用：包名、状态、类型、路径、名称\n"
           "                                （手机桌面上显示的名称，从安装包读取并缓存在电脑上；没有名称的是 -）\n"
           "      --state enabled|disabled|deleted   只列出这种状态的应用\n"
           "      --kind system|user        只列出系统应用或用户应用\n"
           "      --filter 文字             只列出包名、路径或名称含有这段文字的应用（不分大小写）\n"
           "  disable|enable|delete|restore 包名... | --from 列表文件\n"
           "                                禁用、启用、删除（为用户保留数据）或恢复应用，每个包名一行结果；\n"
           "                                缓存里有名称的应用写成“名称 (包名)”\n"
           "  undo                          每个被本工具改动过的应用回到第一次改动之前的状态（同“全部撤销”）\n"
           "  record                        这台手机的操作记录，最新的在前\n"
           "  users                         手机上的用户：编号、名称（机主、工作资料、应用双开、手机分身、安全文件夹……）\n"
           "  discover                      列出网络上打开了“无线调试”的手机（Android 11 及以上）：地址、可配对和可连接的端口\n"
           "  pair 地址:端口 配对码          用手机“使用配对码配对设备”里的地址和六位配对码配对，再连接这台手机\n"
           "      --connect 地址:端口       手机“无线调试”页面上的地址（网络上找不到它的连接服务时）\n"
           "  connect [地址:端口]           连接配对过的手机；不写地址：重新连接配对过、现在在网络上的每台手机\n"
           "  other-adb [--end]             哪个程序占着 adb 的端口（5037）；--end 结束它（先确认那不是你要的程序）\n"
           "\n"
           "选项：\n"
           "  --device 序列号    要操作的手机（也可以用环境变量 ANDROID_SERIAL）\n"
           "  --all              同时操作所有已就绪的手机，每行前面是手机的序列号\n"
           "  --user 编号        Android 用户（默认 0，工作资料通常是 10）\n"
           "  --dry-run          只说会发送什么，什么也不发送\n"
           "  --yes              确认有风险的应用和用户应用的删除；没有它这些应用会被拒绝并说明原因。\n"
           "                     手机拒绝这个操作而另一个可行时（不许禁用系统应用但许删除，Android 17 不许删除\n"
           "                     系统应用但许禁用），有 --yes 就改用可行的那个，没有就只说明\n"
           "  --json             每行一个 JSON 对象（UTF-8），字段名固定，供程序读取\n"
           "  --ansi             输出到文件或管道时用系统的 ANSI 代码页，而不是 UTF-8（不用于 --json：JSON 总是 UTF-8）\n"
           "  --adb 路径         adb.exe 的位置（默认：程序旁边的 adb_1.0.40\\adb.exe，其次 PATH 里的 adb）\n"
           "  --record-file 路径 操作记录文件（默认与应用管理窗口共用 %LOCALAPPDATA%\\adbtool\\actions.log）\n"
           "  --no-names         不读取也不显示应用名称，只用包名（list 不多运行 adb）\n"
           "  --names-file 路径  应用名称缓存文件（默认与应用管理窗口共用 %LOCALAPPDATA%\\adbtool\\names.txt）\n"
           "  --help, --version\n"
           "\n"
           "列表文件：每行一个包名，# 开头是注释，可以是 pm list packages 的输出；UTF-8（带或不带 BOM）、GBK，或带 BOM 的 UTF-16（PowerShell 的 > 写的）。\n"
           "\n"
           "退出码：\n"
           "  0  全部完成（或本来就是那样）\n"
           "  1  有应用失败或被拒绝；配对或连接失败（配对码不对、已失效、没有配对……）\n"
           "  2  用法错误（不认识的命令或选项、找不到文件、包名不合规），什么也没有发送\n"
           "  3  没有手机、找不到 adb 或 adb 出错\n"
           "  4  已取消（Ctrl+C：当前这个应用完成后停止，记录照常写完；list 读名称时按下，已读到的名称照常列出；再按一次立即结束）\n"
           "  5  输出无法写入（管道已关闭、磁盘已满）：就此停止，记录照常写完\n"
           "\n"
           "数据写到标准输出，进度和错误写到标准错误。--json 的 label 字段是应用名称，没有名称时为 null。\n";
}

std::string VersionText() { return "adbctl 1.0\n"; }

} // namespace cli
