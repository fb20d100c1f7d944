#include "core/engine/copyjob.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>

#include "core/engine/filecopy.h"
#include "core/schedule/outlook.h"

using namespace Qt::Literals::StringLiterals;

namespace plovern {

namespace {

mode_t processUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

QString warningText(Warning kind, int count)
{
    const quint64 n = quint64(std::max(count, 0));
    const QString entries = countText(n, "entry"_L1, "entries"_L1);
    const QString files = filesText(n);
    const QString links = countText(n, "symbolic link"_L1, "symbolic links"_L1);
    switch (kind) {
    case Warning::Modes:
        return QStringLiteral("modes not kept on %1 (the drive refused them)").arg(entries);
    case Warning::Owners:
        return QStringLiteral("owners not kept on %1 (the drive refused them)").arg(entries);
    case Warning::Times:
        return QStringLiteral("times not kept on %1 (the drive refused them)").arg(entries);
    case Warning::Attributes:
        return QStringLiteral("extended attributes not kept on %1 (the drive refused them)").arg(entries);
    case Warning::HardLinks:
        return QStringLiteral("hard links not kept on %1, copied apart instead").arg(files);
    case Warning::SymLinks:
        return QStringLiteral("%1 left out (the drive cannot hold them)").arg(links);
    case Warning::LinkOwnersAndTimes:
        return QStringLiteral("owners and times not kept on %1 (the drive would set them on what the links "
                              "point to)")
            .arg(links);
    case Warning::ReferenceUnreadable:
        return QStringLiteral("%1 of the earlier copy could not be read, copied from the source instead").arg(files);
    case Warning::Vanished:
        return QStringLiteral("%1 vanished from the source during the copy").arg(entries);
    case Warning::ChangedWhileCopied:
        return QStringLiteral("%1 changed during the copy").arg(files);
    case Warning::TimesReset:
        return QStringLiteral("times not kept on %1 (the drive reset them)").arg(files);
    case Warning::OwnCopy:
        return QStringLiteral("the copy's own folder, reached from inside the source, was left out");
    case Warning::Kinds:
        break;
    }
    return {};
}

CopyJob::CopyJob(std::string sourceRoot, int targetRootFd, FileId target)
    : m_sourceRoot(std::move(sourceRoot))
    , m_targetRootFd(targetRootFd)
    , m_target(target)
    , m_umask(processUmask())
    , m_runsAsRoot(::geteuid() == 0)
    , m_gid(::getegid())
{
}

CopyReport CopyJob::report()
{
    CopyReport out;
    out.stopped = endsProgram();
    out.files = m_files;
    out.bytes = m_bytes;
    out.fullBytes = m_blockBytes;
    out.failures = m_failures;
    out.firstFailure = m_firstFailure;
    out.sharedFiles = m_sharedFiles;
    out.sharedBytes = m_sharedBytes;
    for (size_t kind = 0; kind < size_t(Warning::Kinds); ++kind) {
        if (const int count = m_warnings[kind].load())
            out.warnings.append(warningText(Warning(kind), count));
    }
    return out;
}

void CopyJob::setRoom(quint64 free, quint64 margin)
{
    std::lock_guard lock(m_roomMutex);
    m_roomKnown = true;
    m_roomFree = free;
    m_roomMargin = margin;
}

bool CopyJob::takeRoom(quint64 bytes)
{
    std::lock_guard lock(m_roomMutex);
    if (!m_roomKnown || bytes == 0)
        return true;
    const auto usable = [this] { return m_roomFree > m_roomMargin ? m_roomFree - m_roomMargin : 0; };
    if (m_roomTaken + bytes > usable() / 2) {
        // What finished files wrote is in the drive's answer; what the files
        // being written have yet to write is not.
        struct statvfs fs;
        if (::fstatvfs(m_targetRootFd, &fs) == 0) {
            m_roomFree = quint64(fs.f_bavail) * fs.f_frsize;
            m_roomTaken = m_roomInFlight;
        }
        if (m_roomTaken + bytes > usable()) {
            m_roomNeeded = m_bytes + m_roomInFlight + bytes;
            m_outOfRoom = true;
            return false;
        }
    }
    m_roomTaken += bytes;
    m_roomInFlight += bytes;
    return true;
}

void CopyJob::giveRoom(quint64 bytes)
{
    std::lock_guard lock(m_roomMutex);
    if (m_roomKnown)
        m_roomInFlight -= std::min(bytes, m_roomInFlight);
}

// Extended attributes (and with them ACLs and file capabilities). One
// flistxattr per entry, none once the source shows it keeps none.
void CopyJob::copyAttributes(int from, int to)
{
    if (!m_sourceHasAttributes.load(std::memory_order_relaxed))
        return;
    std::vector<char> names(1024);
    ssize_t length = ::flistxattr(from, names.data(), names.size());
    if (length < 0 && errno == ERANGE) {
        length = ::flistxattr(from, nullptr, 0);
        names.resize(length > 0 ? static_cast<size_t>(length) : 0);
        length = length > 0 ? ::flistxattr(from, names.data(), names.size()) : length;
    }
    if (length < 0) {
        if (errno == ENOTSUP)
            m_sourceHasAttributes = false;
        return;
    }
    std::vector<char> value;
    bool refused = false;
    for (ssize_t at = 0; at < length;) {
        const char* name = names.data() + at;
        at += static_cast<ssize_t>(std::strlen(name)) + 1;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            continue; // gone since the listing, or one this user may not read
        value.resize(static_cast<size_t>(size));
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got < 0)
            continue;
        if (::fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0) != 0)
            refused = true;
    }
    if (refused)
        warn(Warning::Attributes);
}

PathNode::~PathNode()
{
    std::shared_ptr<const PathNode> up = std::move(parent);
    while (up && up.use_count() == 1)
        up = std::move(up->parent); // frees the node above, whose own parent is moved out first
}

std::string PathNode::path() const
{
    std::vector<const std::string*> names;
    size_t length = 0;
    for (const PathNode* node = this; node && node->parent; node = node->parent.get()) {
        names.push_back(&node->name);
        length += node->name.size() + 1;
    }
    std::string out;
    out.reserve(length);
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!out.empty())
            out += '/';
        out += **name;
    }
    return out;
}

FolderPair::FolderPair(CopyJob& job, Fd src, Fd dst, PathRef node, const struct stat& st)
    : m_job(job)
    , m_src(std::move(src))
    , m_dst(std::move(dst))
    , m_node(std::move(node))
    , m_mode(st.st_mode & 07777)
    , m_times{st.st_atim, st.st_mtim}
    , m_inheritsAcl(::fgetxattr(m_dst.get(), kDefaultAcl, nullptr, 0) >= 0)
{
    ++m_job.openFolders;
}
FolderPair::~FolderPair()
{
    if (m_job.kept(::fchmod(m_dst.get(), m_mode), Warning::Modes) && m_job.habits().dropsModes)
        m_job.warn(Warning::Modes);
    m_job.kept(::futimens(m_dst.get(), m_times), Warning::Times);
    --m_job.openFolders;
}
void CopyJob::setReference(Fd root, CloneCall clone, Written written)
{
    m_reference = std::move(root);
    m_clone = std::move(clone);
    m_referenceWritten = written;
    m_cloning = written.known();
}

bool CopyJob::standsFor(const struct stat& source, const struct stat& twin, const Written& written) const
{
    return unchangedCopy(
        source, twin, written,
        {m_habits.timeResolution, m_runsAsRoot && m_habits.keepsOwners, m_habits.keepsModes, m_sourceSlack});
}

Fd CopyJob::openReference(const std::string& path, struct stat* st)
{
    open_how how{};
    how.flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV;
    Fd file(static_cast<int>(::syscall(SYS_openat2, m_reference.get(), path.c_str(), &how, sizeof how)));
    if (!file.valid() && errno == ENOSYS)
        m_cloning = false; // a kernel before 5.6
    if (!file.valid() || ::fstat(file.get(), st) != 0 || !S_ISREG(st->st_mode))
        return Fd();
    return file;
}

bool CopyJob::clone(int out, int in)
{
    // Until one clone went through, they are tried one at a time, so a drive
    // that cannot share is asked once, whatever the threads.
    std::unique_lock trying(m_cloneTrial, std::defer_lock);
    if (!m_cloneWorks.load(std::memory_order_acquire)) {
        trying.lock();
        if (!m_cloning)
            return false;
    }
    const int error = m_clone(out, in);
    switch (error) {
    case 0:
        m_cloneWorks = true;
        return true;
    case EOPNOTSUPP:
    case EXDEV:
    case ENOTTY:
    case EINVAL:
        m_cloning = false; // this drive cannot share: one try per copy
        break;
    case EIO:
        warn(Warning::ReferenceUnreadable);
        break;
    default:
        break;
    }
    return false;
}

bool FolderPair::claim(const std::string& name)
{
    if (!m_job.foldsCase())
        return true;
    const std::string folded = QString::fromUtf8(name).toCaseFolded().toStdString();
    std::lock_guard lock(m_claimMutex);
    std::vector<std::string>& alike = m_claims[folded];
    for (const std::string& claimed : alike) {
        if (claimed == name)
            return true;
        if (m_job.driveFolds(m_dst.get(), claimed, name)) {
            m_job.fail(child(name),
                       "the drive cannot keep it apart from " + m_job.sourcePath(child(claimed)) + ", which was kept");
            return false;
        }
    }
    alike.push_back(name);
    return true;
}

// Whether a leftover temporary name of this program belongs to no running copy.
bool isStaleTemp(const char* name)
{
    const size_t length = std::strlen(name);
    constexpr size_t prefix = sizeof(CopyJob::kTempPrefix) - 1;
    constexpr size_t suffix = sizeof(CopyJob::kTempSuffix) - 1;
    if (length <= prefix + suffix || std::strncmp(name, CopyJob::kTempPrefix, prefix) != 0
        || std::strcmp(name + length - suffix, CopyJob::kTempSuffix) != 0)
        return false;
    // ".plovern-<pid>-<n>.part"
    const std::string middle(name + prefix, length - prefix - suffix);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash > 9 || dash + 1 == middle.size()
        || middle.find_first_not_of("0123456789-") != std::string::npos
        || middle.find('-', dash + 1) != std::string::npos)
        return false;
    const auto pid = static_cast<pid_t>(std::stoi(middle.substr(0, dash)));
    return pid == ::getpid() || (::kill(pid, 0) != 0 && errno == ESRCH);
}

} // namespace plovern
