#include "one_pass.h"

#include "supervision_world.h"

namespace {

// The real world, except that the first pause ends the loop and that
// nothing is ever restarted or truncated.
class OnePassWorld : public SupervisionWorld {
public:
    explicit OnePassWorld(bool& stop) : stop_(stop) {}
    void Pause(unsigned long) override { stop_ = true; }
    std::optional<Clocks> Restart(const std::string&, const std::string&,
                                  const std::function<void()>&) override
    {
        Disturbed();
        return Clocks{Now(), Monotonic()};
    }
    void Truncate(const std::string&) override { Disturbed(); }
    bool disturbed = false;

private:
    void Disturbed()
    {
        disturbed = true;
        stop_ = true;
    }
    bool& stop_;
};

} // namespace

bool RunOnePass(const WatchedProgram& watched)
{
    bool stop = false;
    OnePassWorld world(stop);
    time_t lastHeartbeat = time(nullptr);
    time_t lastAlive = lastHeartbeat;
    Supervise(watched, stop, lastHeartbeat, lastAlive, world);
    return !world.disturbed;
}
