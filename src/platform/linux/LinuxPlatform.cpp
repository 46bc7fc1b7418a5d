#include "platform/linux/LinuxPlatform.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <chrono>
#include <ctime>
#include <vector>

#include "app/BuildSettings.h"

extern char** environ;

namespace velastrom {

namespace {

constexpr const char* CurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* ProgramFilesDirName = "ProgramFilesDir";

// Starts argv[0] (looked up in the search path when it holds no "/") as a
// grandchild that the init process adopts, in a session of its own. The
// intermediate child is reaped here, so nothing is left as a zombie.
void SpawnDetached(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        // Only async-signal-safe calls from here on. The product keeps none of
        // the dashboard's descriptors (display connection, browser sockets):
        // it may outlive the dashboard.
        ::setsid();
        if (::close_range(3, ~0U, 0) != 0) {
            for (int fd = 3; fd < 65536; ++fd)
                ::close(fd);
        }
        posix_spawnattr_t attr;
        if (::posix_spawnattr_init(&attr) == 0) {
            ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
            sigset_t none;
            sigemptyset(&none);
            ::posix_spawnattr_setsigmask(&attr, &none);
            sigset_t all;
            sigfillset(&all);
            ::posix_spawnattr_setsigdefault(&attr, &all);
            pid_t grandchild = 0;
            ::posix_spawnp(&grandchild, argv[0], nullptr, &attr, argv.data(), environ);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::string LinuxPlatform::ReadPrivateProfile(const char* section, const char* key, const std::string& def,
                                              std::size_t bufferSize, const std::string& fileName)
{
    return profiles_.GetString(section, key, def, bufferSize, fileName);
}

bool LinuxPlatform::WritePrivateProfile(const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& fileName)
{
    return profiles_.WriteString(section, key, value, fileName);
}

TRegistryValue LinuxPlatform::QueryLocalMachineValue(const std::string& key, const std::string& name)
{
    TRegistryValue result;
    std::string wanted = key;
    while (!wanted.empty() && wanted.back() == '\\')
        wanted.pop_back();
    // The key and every key above it exist; only the key itself holds the value.
    const std::string full = CurrentVersionKey;
    const bool isKey = profile::NamesEqual(wanted, full);
    const bool isAncestor = wanted.empty() || (wanted.size() < full.size() && full[wanted.size()] == '\\' &&
                                               profile::NamesEqual(wanted, full.substr(0, wanted.size())));
    if (!isKey && !isAncestor)
        return result;
    if (!isKey || !profile::NamesEqual(name, ProgramFilesDirName)) {
        result.status = TRegistryValue::Status::ValueMissing;
        return result;
    }
    result.status = TRegistryValue::Status::Ok;
    result.type = REG_SZ_TYPE;
    result.data = std::string(settings::ProgramFilesDir) + '\0';
    return result;
}

bool LinuxPlatform::DirectoryExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool LinuxPlatform::MakeDirectory(const std::string& path)
{
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool LinuxPlatform::ChangeDirectory(const std::string& path)
{
    return !path.empty() && ::chdir(path.c_str()) == 0;
}

void LinuxPlatform::ShellOpen(std::uintptr_t, const std::string& file)
{
    if (file.empty())
        return;
    // A relative name is taken from the current directory, never searched for.
    const std::string program = file.find('/') == std::string::npos ? "./" + file : file;
    struct stat st {};
    const bool runnable = ::stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                          ::access(program.c_str(), X_OK) == 0;
    if (runnable)
        SpawnDetached({program});
    else if (::stat(program.c_str(), &st) == 0)
        SpawnDetached({"xdg-open", program});
    // A missing file starts nothing; as on Windows, the caller is not told.
}

void LinuxPlatform::Sleep(unsigned milliseconds)
{
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

std::uint64_t LinuxPlatform::TickCount() const
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int LinuxPlatform::CompareText(const std::string& a, const std::string& b) const
{
    return CompareText1252(a, b);
}

void LinuxPlatform::MaskFloatingPointExceptions()
{
#if defined(__GLIBC__)
    ::fedisableexcept(FE_ALL_EXCEPT);
#endif
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_TONEAREST);
}

}  // namespace velastrom
