#include "sim/PtyServer.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kadex::sim {

namespace {

int baudOf(speed_t s)
{
    switch (s) {
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

void setCloexec(int fd)
{
    const int f = fcntl(fd, F_GETFD);
    if (f >= 0)
        fcntl(fd, F_SETFD, f | FD_CLOEXEC);
}

} // namespace

// The bus's view of the pseudo-terminal: bytes for the PC go to the master side.
class PtyServer::Link final : public IBusLink {
public:
    Link(int master, int wake) : master_(master), wake_(wake) {}

    void fromBus(const uint8_t* data, size_t count) override
    {
        std::lock_guard<std::mutex> l(mu_);
        size_t done = 0;
        int stalls = 0;
        while (master_ >= 0 && done < count) {
            const ssize_t n = ::write(master_, data + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // Nobody reads the other side and its buffer is full: what does not fit is lost,
            // as on a real line.
            if (n < 0 && errno == EAGAIN && ++stalls < 5) {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 20);
                continue;
            }
            break;
        }
    }
    void linkLost(const std::string&) override
    {
        lost = true;
        std::lock_guard<std::mutex> l(mu_);
        if (wake_ >= 0) {
            const char c = 'h';
            [[maybe_unused]] ssize_t n = ::write(wake_, &c, 1);
        }
    }
    // Stops all use of the descriptors; called before they are closed.
    void release()
    {
        std::lock_guard<std::mutex> l(mu_);
        master_ = -1;
        wake_ = -1;
    }

    std::atomic<bool> lost{false};

private:
    std::mutex mu_;
    int master_;
    int wake_;
};

PtyServer::PtyServer() = default;

PtyServer::~PtyServer()
{
    stop();
}

bool PtyServer::start(std::shared_ptr<SimBus> bus, std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error)
            *error = what + (errno ? std::string(": ") + std::strerror(errno) : std::string());
        closeFds();
        return false;
    };
    if (serving_.load() || thread_.joinable())
        return fail("already serving");
    errno = 0;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return fail("posix_openpt");
    setCloexec(master_);
    if (::grantpt(master_) != 0)
        return fail("grantpt");
    if (::unlockpt(master_) != 0)
        return fail("unlockpt");
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0)
        return fail("ptsname");
    slavePath_ = name;

    slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveKeep_ < 0)
        return fail(std::string("open ") + name);
    termios t{};
    if (::tcgetattr(slaveKeep_, &t) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&t);  // no echo by the line discipline, no translation
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    if (::tcsetattr(slaveKeep_, TCSANOW, &t) != 0)
        return fail("tcsetattr");
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("pipe");

    link_ = std::make_shared<Link>(master_, wake_[1]);
    std::string why;
    if (!bus->attach(link_, why)) {
        errno = 0;
        link_->release();
        link_.reset();
        return fail(why);
    }
    bus_ = std::move(bus);
    if (!makeLink(error)) {
        bus_->detach(link_.get());
        link_->release();
        link_.reset();
        bus_.reset();
        closeFds();
        return false;
    }
    stop_ = false;
    serving_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

std::string PtyServer::slavePath() const
{
    return slavePath_;
}

void PtyServer::loop()
{
    uint8_t buf[256];
    while (!stop_.load()) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, 200);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            char drain[16];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (link_->lost.load()) {
            // The port hangs up: close the master side, so that the tool's side sees it.
            removeLink();
            link_->release();
            ::close(master_);
            master_ = -1;
            ::close(slaveKeep_);
            slaveKeep_ = -1;
            serving_ = false;
            return;
        }
        if (stop_.load())
            break;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                termios t{};
                if (::tcgetattr(master_, &t) == 0)
                    if (const int baud = baudOf(::cfgetospeed(&t)))
                        bus_->setLinkBaud(baud);
                bus_->fromPc(link_.get(), buf, static_cast<size_t>(n), true);
                continue;
            }
        }
        if (fds[0].revents & (POLLHUP | POLLERR))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // no reader yet; do not spin
    }
}

void PtyServer::stop()
{
    stop_ = true;
    if (wake_[1] >= 0) {
        const char c = 's';
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    removeLink();
    if (bus_ && link_)
        bus_->detach(link_.get());
    if (link_)
        link_->release();
    closeFds();
    link_.reset();
    bus_.reset();
    serving_ = false;
}

void PtyServer::unplug()
{
    if (bus_)
        bus_->hangUp("adapter unplugged");
    removeLink();
}

bool PtyServer::plug(std::string* error)
{
    std::shared_ptr<SimBus> bus = bus_;
    if (!bus) {
        if (error)
            *error = "not started";
        return false;
    }
    stop();
    bus->restoreLink();
    return start(std::move(bus), error);
}

bool PtyServer::makeLink(std::string* error)
{
    if (linkPath_.empty())
        return true;
    // Replace whatever is there in one step, so the path never points nowhere while in use.
    const std::string tmp = linkPath_ + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(slavePath_.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), linkPath_.c_str()) != 0) {
        if (error)
            *error = "cannot make the link " + linkPath_ + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

void PtyServer::removeLink()
{
    if (linkPath_.empty())
        return;
    char target[256] = {};
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    // Only our own link: another server may have taken the path meanwhile.
    if (n > 0 && slavePath_ == std::string(target, static_cast<size_t>(n)))
        ::unlink(linkPath_.c_str());
}

void PtyServer::closeFds()
{
    for (int* fd : {&master_, &slaveKeep_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace kadex::sim
