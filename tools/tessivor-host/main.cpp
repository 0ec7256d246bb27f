// tessivor-host: a command-line automation host for the camera control.
//
// It creates the control by ProgID through the registration file and works only through member
// names and dispatch ids, as a script host would. Actions run in command-line order:
//
//   --progid NAME            class to create (default Tessivor.Image); takes effect before the
//                            first action that needs the control
//   --module PATH            module that --register/--unregister use (default: the built one)
//   --register, --unregister register or remove the control module
//   --list-members           one line per member: DISPID, name, kind, parameter types (tab-separated)
//   --member-count           "members: N"
//   --set NAME=VALUE         property put; prints "NAME: S_FALSE" (or the error) unless it gives S_OK
//   --get NAME               property get; prints "NAME=VALUE"
//   --call NAME(ARG,...)     method call with its in arguments; prints "NAME -> " and the out values
//   --target WxH             makes a frame target, puts it into PreviewhWnd/PreviewDC, sets OtherDC
//   --dump-target FILE.ppm   writes the frame target (or the control's own surface) as PPM
//   --run-for SECONDS        runs the message loop for that long
//   --wait-event CODE[:S]    runs the message loop until GetImageEvent CODE fires (default 10 s)
//   --wait-status VALUE[:S]  runs the message loop until Status reads VALUE (default 10 s)
//
// Every event prints one line as it fires: "event NAME ARG...". Unknown members, wrong arguments
// and time-outs end the program with one "error: ..." line and exit status 1.
#include "platform/com_module.h"
#include "platform/control_window.h"
#include "platform/frame_target.h"
#include "platform/registration.h"

#include <dlfcn.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tessivor;

namespace {

struct Failure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Prints every event and remembers the GetImageEvent codes for --wait-event.
class EventPrinter final : public IDispatch
{
public:
    explicit EventPrinter(std::vector<MemberInfo> events) : m_events(std::move(events)) {}

    HRESULT getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }

    HRESULT invoke(DispId id, InvokeKind, DispParams& params, Variant*) override
    {
        std::string line = "event ";
        std::string_view name = "?";
        for (const MemberInfo& m : m_events)
            if (m.id == id)
                name = m.name;
        line += name;
        for (std::size_t i = 0; i < params.count(); ++i)
            line += " " + params.declared(i).display();
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        if (name == "GetImageEvent" && params.count() == 1) {
            std::int32_t code = 0;
            if (succeeded(params.declared(0).toI4(&code)))
                codes.push_back(code);
        }
        return S_OK;
    }

    std::vector<std::int32_t> codes;

private:
    std::vector<MemberInfo> m_events;
};

class Host
{
public:
    int run(const std::vector<std::string>& args);

private:
    IAutomationObject& control();
    const MemberInfo& member(const std::string& name, InvokeKind kind);
    std::string moduleLibrary() const;
    HRESULT callModule(const char* entry);

    void doSet(const std::string& arg);
    void doGet(const std::string& name);
    void doCall(const std::string& arg);
    void doTarget(const std::string& size);
    void doDump(const std::string& file);
    void doWaitEvent(const std::string& arg);
    void doWaitStatus(const std::string& arg);
    void pumpFor(std::chrono::milliseconds duration);

    std::string m_progId = "Tessivor.Image";
    std::string m_module;
    std::shared_ptr<IAutomationObject> m_control;
    std::shared_ptr<EventPrinter> m_printer;
    std::vector<MemberInfo> m_members;
    Handle m_target = 0;
    std::size_t m_eventsWaited = 0; // GetImageEvent codes already matched by --wait-event
};

// "3" / "3:20" -> value and seconds.
std::pair<std::int64_t, double> valueAndSeconds(const std::string& arg, const char* what)
{
    std::string v = arg, s;
    if (auto colon = arg.find(':'); colon != std::string::npos) {
        v = arg.substr(0, colon);
        s = arg.substr(colon + 1);
    }
    std::int64_t value = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || p != v.data() + v.size())
        throw Failure(std::string(what) + ": \"" + v + "\" is not a number");
    double seconds = 10.0;
    if (!s.empty()) {
        char* end = nullptr;
        seconds = std::strtod(s.c_str(), &end);
        if (!end || *end || seconds < 0)
            throw Failure(std::string(what) + ": \"" + s + "\" is not a number of seconds");
    }
    return {value, seconds};
}

// Splits "a, b, "c,d"" at top-level commas; double quotes group and are removed.
std::vector<std::string> splitArguments(const std::string& text)
{
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ',' && !quoted) {
            out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            if (!(c == ' ' && cur.empty() && !any))
                cur += c;
        }
    }
    if (quoted)
        throw Failure("unbalanced quote in \"" + text + "\"");
    if (!out.empty() || !cur.empty() || any)
        out.push_back(cur);
    return out;
}

IAutomationObject& Host::control()
{
    if (m_control)
        return *m_control;
    std::string error;
    HRESULT hr = createByProgId(m_progId, &m_control, &error);
    if (failed(hr) || !m_control)
        throw Failure("cannot create \"" + m_progId + "\": " + (error.empty() ? resultText(hr) : error));
    m_members = m_control->typeInfo();
    m_printer = std::make_shared<EventPrinter>(m_control->eventInfo());
    std::uint32_t cookie = 0;
    m_control->advise(m_printer, &cookie);
    return *m_control;
}

const MemberInfo& Host::member(const std::string& name, InvokeKind kind)
{
    control();
    bool nameKnown = false;
    for (const MemberInfo& m : m_members) {
        if (!equalsIgnoreCase(m.name, name))
            continue;
        nameKnown = true;
        if (m.kind == kind)
            return m;
    }
    if (nameKnown)
        throw Failure("member " + name + " has no " + std::string(invokeKindName(kind)) + " form");
    throw Failure("unknown member " + name);
}

std::string Host::moduleLibrary() const
{
    if (!m_module.empty())
        return m_module;
    if (const char* env = std::getenv("TESSIVOR_MODULE"); env && *env)
        return env;
    // Installed layout first (lib beside bin), then the build tree.
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto candidate = self.parent_path().parent_path() / "lib" / "libtessivor.so";
        if (std::filesystem::exists(candidate, ec))
            return candidate.string();
    }
    return TESSIVOR_BUILT_MODULE;
}

HRESULT Host::callModule(const char* entry)
{
    const std::string path = moduleLibrary();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        throw Failure("cannot load " + path + ": " + (why ? why : "unknown error"));
    }
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(module, entry));
    if (!fn)
        throw Failure(path + " has no " + entry);
    return fn();
}

void Host::doSet(const std::string& arg)
{
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0)
        throw Failure("--set needs NAME=VALUE, got \"" + arg + "\"");
    const std::string name = arg.substr(0, eq);
    const MemberInfo& m = member(name, InvokeKind::PropertyPut);
    DispParams params = DispParams::fromDeclared({Variant::str(arg.substr(eq + 1))});
    HRESULT hr = control().invoke(m.id, InvokeKind::PropertyPut, params, nullptr);
    if (failed(hr))
        throw Failure("put " + name + ": " + resultText(hr));
    if (hr != S_OK)
        std::printf("%s: %s\n", std::string(m.name).c_str(), resultText(hr).c_str());
}

void Host::doGet(const std::string& name)
{
    const MemberInfo& m = member(name, InvokeKind::PropertyGet);
    DispParams params;
    Variant result;
    HRESULT hr = control().invoke(m.id, InvokeKind::PropertyGet, params, &result);
    if (failed(hr))
        throw Failure("get " + name + ": " + resultText(hr));
    std::printf("%s=%s\n", std::string(m.name).c_str(), result.display().c_str());
}

void Host::doCall(const std::string& arg)
{
    auto open = arg.find('(');
    std::string name = arg, inside;
    if (open != std::string::npos) {
        if (arg.back() != ')')
            throw Failure("--call needs NAME(ARG,...), got \"" + arg + "\"");
        name = arg.substr(0, open);
        inside = arg.substr(open + 1, arg.size() - open - 2);
    }
    const MemberInfo& m = member(name, InvokeKind::Method);
    std::vector<std::string> given = splitArguments(inside);
    std::size_t ins = 0;
    for (const ParamInfo& p : m.params)
        ins += p.out ? 0 : 1;
    if (given.size() != ins)
        throw Failure(std::string(m.name) + " takes " + std::to_string(ins) + " argument(s) (" +
                      m.signature() + "), got " + std::to_string(given.size()));
    std::vector<Variant> declared;
    std::size_t next = 0;
    for (const ParamInfo& p : m.params)
        declared.push_back(p.out ? Variant() : Variant::str(given[next++]));
    DispParams params = DispParams::fromDeclared(std::move(declared));
    Variant result;
    HRESULT hr = control().invoke(m.id, InvokeKind::Method, params, &result);
    if (failed(hr))
        throw Failure("call " + std::string(m.name) + ": " + resultText(hr));
    std::string line = std::string(m.name) + " ->";
    bool first = true;
    for (std::size_t i = 0; i < m.params.size(); ++i) {
        if (!m.params[i].out)
            continue;
        line += first ? " " : ", ";
        first = false;
        line += std::string(m.params[i].name) + "=" + params.declared(i).display();
    }
    if (hr != S_OK)
        line += " (" + resultText(hr) + ")";
    std::printf("%s\n", line.c_str());
}

void Host::doTarget(const std::string& size)
{
    int w = 0, h = 0;
    if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 8192 || h > 8192)
        throw Failure("--target needs WIDTHxHEIGHT, got \"" + size + "\"");
    if (m_target)
        frameTargets::destroy(m_target);
    m_target = frameTargets::create(w, h);
    for (const char* name : {"PreviewhWnd", "PreviewDC"})
        doSet(std::string(name) + "=" + std::to_string(m_target));
    doSet("OtherDC=-1");
}

void Host::doDump(const std::string& file)
{
    Handle h = m_target;
    if (!h) {
        Variant hwnd;
        DispParams none;
        control().invoke(member("hwnd", InvokeKind::PropertyGet).id, InvokeKind::PropertyGet, none, &hwnd);
        std::int32_t v = 0;
        hwnd.toI4(&v);
        h = v;
    }
    auto target = frameTargets::find(h);
    if (!target || !target->savePpm(file))
        throw Failure("cannot write " + file);
}

void Host::pumpFor(std::chrono::milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            break;
        messageLoop::waitAndPump(std::min<std::chrono::milliseconds>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - now), std::chrono::milliseconds(50)));
    }
}

void Host::doWaitEvent(const std::string& arg)
{
    auto [code, seconds] = valueAndSeconds(arg, "--wait-event");
    control();
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        messageLoop::pump();
        for (std::size_t i = m_eventsWaited; i < m_printer->codes.size(); ++i) {
            if (m_printer->codes[i] == code) {
                m_eventsWaited = i + 1;
                return;
            }
        }
        if (std::chrono::steady_clock::now() >= end)
            throw Failure("time-out waiting for event " + std::to_string(code));
        messageLoop::waitAndPump(std::chrono::milliseconds(50));
    }
}

void Host::doWaitStatus(const std::string& arg)
{
    auto [value, seconds] = valueAndSeconds(arg, "--wait-status");
    const MemberInfo& status = member("Status", InvokeKind::PropertyGet);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        messageLoop::pump();
        DispParams none;
        Variant v;
        control().invoke(status.id, InvokeKind::PropertyGet, none, &v);
        std::int32_t s = 0;
        if (succeeded(v.toI4(&s)) && s == value)
            return;
        if (std::chrono::steady_clock::now() >= end)
            throw Failure("time-out waiting for Status " + std::to_string(value) + " (it is " +
                          std::to_string(s) + ")");
        messageLoop::waitAndPump(std::chrono::milliseconds(50));
    }
}

int Host::run(const std::vector<std::string>& args)
{
    auto needValue = [&](std::size_t& i) -> const std::string& {
        if (i + 1 >= args.size())
            throw Failure(args[i] + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--progid") {
            m_progId = needValue(i);
        } else if (a == "--module") {
            m_module = needValue(i);
        } else if (a == "--register") {
            HRESULT hr = callModule("DllRegisterServer");
            if (failed(hr))
                throw Failure("registration failed: " + resultText(hr));
            std::printf("registered %s in %s\n", moduleLibrary().c_str(), registrationFile().c_str());
        } else if (a == "--unregister") {
            HRESULT hr = callModule("DllUnregisterServer");
            if (failed(hr))
                throw Failure("unregistration failed: " + resultText(hr));
            std::printf("unregistered\n");
        } else if (a == "--list-members") {
            control();
            for (const MemberInfo& m : m_members)
                std::printf("%d\t%s\t%s\t%s\n", m.id, std::string(m.name).c_str(),
                            std::string(invokeKindName(m.kind)).c_str(), m.signature().c_str());
        } else if (a == "--member-count") {
            control();
            std::printf("members: %zu\n", m_members.size());
        } else if (a == "--set") {
            doSet(needValue(i));
        } else if (a == "--get") {
            doGet(needValue(i));
        } else if (a == "--call") {
            doCall(needValue(i));
        } else if (a == "--target") {
            doTarget(needValue(i));
        } else if (a == "--dump-target") {
            doDump(needValue(i));
        } else if (a == "--run-for") {
            auto [ignored, seconds] = valueAndSeconds("0:" + needValue(i), "--run-for");
            (void)ignored;
            control();
            pumpFor(std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
        } else if (a == "--wait-event") {
            doWaitEvent(needValue(i));
        } else if (a == "--wait-status") {
            doWaitStatus(needValue(i));
        } else if (a == "--help" || a == "-h") {
            std::printf(
                "usage: tessivor-host [--progid NAME] [--module PATH] ACTION...\n"
                "actions: --register --unregister --list-members --member-count --set NAME=VALUE\n"
                "         --get NAME --call NAME(ARG,...) --target WxH --dump-target FILE.ppm\n"
                "         --run-for SECONDS --wait-event CODE[:SECONDS] --wait-status VALUE[:SECONDS]\n");
        } else {
            throw Failure("unknown option " + a);
        }
        std::fflush(stdout);
    }
    // Release the control on this thread: its destructor stops and joins the workers.
    m_control.reset();
    if (m_target)
        frameTargets::destroy(m_target);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string> args(argv + 1, argv + argc);
    Host host;
    try {
        return host.run(args);
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "error: %s\n", f.what());
        return 1;
    }
}
