#include "bridge/bridge_parts.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "bridge/log/event_log.h"
#include "bridge/serving/client_limits.h"
#include "bridge/serving/descriptor_limit.h"

namespace gw::bridge {
namespace {

std::optional<Login> MakeLogin(const Options& o) {
  if (o.user.empty()) return std::nullopt;
  std::string password, error;
  if (!ReadPasswordFile(o.passwordFile, &password, &error)) throw std::runtime_error(error);
  return Login(o.user, password);
}

// One drawer for every area's poller, drawing on a thread of its own: the
// pollers hand it their readings in turn. Drawing needs a few megabytes of
// scratch memory, which the C library keeps per thread once used; drawn on
// each poller's thread, ten areas would hold ten times that. It also spares
// every platform's drawing library from being called on several threads.
class DrawingThread final : public ChartDrawer {
 public:
  explicit DrawingThread(std::unique_ptr<ChartDrawer> drawer)
      : drawer_(std::move(drawer)), thread_([this] { Loop(); }) {}
  ~DrawingThread() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  std::string DrawMeter(const Reading& reading, const std::string& area) override {
    return Run([&] { return drawer_->DrawMeter(reading, area); });
  }
  std::string DrawDay(const Reading& reading, const DayFigures& day, const std::string& area) override {
    return Run([&] { return drawer_->DrawDay(reading, day, area); });
  }

 private:
  // Runs `draw` on the drawing thread and waits for its bytes, or for what
  // it threw.
  template <typename Draw>
  std::string Run(Draw draw) {
    std::packaged_task<std::string()> task(draw);
    std::future<std::string> drawn = task.get_future();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
    return drawn.get();
  }

  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      std::packaged_task<std::string()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::unique_ptr<ChartDrawer> drawer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<std::string()>> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

std::vector<const Area*> AreasOf(const BridgePlan& plan) {
  std::vector<const Area*> areas;
  for (const AreaSource& a : plan.areas) areas.push_back(a.area);
  return areas;
}

// Each listener may fill its own cap, so together they must fit under the
// process's file descriptor limit.
size_t ListenerCap(size_t wanted, size_t listeners) {
  listeners = std::max<size_t>(1, listeners);
  std::string lowered;
  const size_t total = FitConnectionCap(wanted * listeners, &lowered);
  if (!lowered.empty()) {
    if (listeners > 1) lowered += " (shared by " + std::to_string(listeners) + " listeners)";
    LogLineNow("%s", lowered.c_str());
  }
  return std::max<size_t>(1, total / listeners);
}

// One table for every listener, so that a client's connections are counted
// across the process, under a cap that stays well below a listener's.
std::shared_ptr<ClientTable> ClientCap(size_t wanted, size_t listenerCap) {
  std::string lowered;
  const size_t cap = FitClientCap(wanted, listenerCap, &lowered);
  if (!lowered.empty()) LogLineNow("%s", lowered.c_str());
  return std::make_shared<ClientTable>(cap);
}

}  // namespace

BridgeParts::BridgeParts(const Options& options, const Clock& clock, int threads)
    : options_(options),
      plan_(PlanBridge(options)),
      clock_(clock),
      login_(MakeLogin(options)),
      drawer_(std::make_unique<DrawingThread>(MakeChartDrawer(options.font))),
      areas_(std::make_unique<ServedAreas>(AreasOf(plan_))) {
  for (size_t i = 0; i < plan_.areas.size(); ++i) {
    PollerConfig config{plan_.areas[i].area, plan_.areas[i].source, options.maxAgeSeconds,
                        options.alarmAfterSeconds};
    pollers_.push_back(std::make_unique<Poller>(config, areas_->cache(i), metrics_, *drawer_, clock_));
  }
  connectionCap_ = ListenerCap(options.maxConnections, plan_.listens.size());
  clients_ = ClientCap(options.maxConnectionsPerClient, connectionCap_);
  for (const Listener& listen : plan_.listens) {
    const size_t home = areas_->Find(listen.area);
    responders_.push_back(
        std::make_unique<Responder>(metrics_, login_ ? &*login_ : nullptr, options.maxAgeSeconds, home));
    fronts_.push_back(std::make_unique<Front>(
        FrontConfig{listen.address, listen.port, connectionCap_, threads, clients_->maxPerClient(), clients_}, *areas_,
        *responders_.back(), metrics_, clock_));
  }
}

BridgeParts::~BridgeParts() { Stop(); }

std::vector<uint16_t> BridgeParts::Listen() {
  std::vector<uint16_t> ports;
  for (auto& front : fronts_) ports.push_back(front->Listen());
  return ports;
}

void BridgeParts::Start() {
  for (auto& front : fronts_) front->Start();
  for (auto& poller : pollers_) poller->Start(std::chrono::seconds(options_.refreshSeconds));
}

void BridgeParts::Stop() {
  for (auto& front : fronts_) front->Stop();
  for (auto& poller : pollers_) poller->Stop();
}

std::string BridgeParts::Describe(const std::vector<uint16_t>& ports) const {
  std::string text = "listening on";
  for (size_t i = 0; i < plan_.listens.size() && i < ports.size(); ++i) {
    text += (i ? ", " : " ") + plan_.listens[i].address + ":" + std::to_string(ports[i]) + " (" +
            plan_.listens[i].area + ")";
  }
  text += "; reading";
  for (size_t i = 0; i < plan_.areas.size(); ++i) {
    text += (i ? ", " : " ") + std::string(plan_.areas[i].area->name) + " from " + ShownSource(plan_.areas[i].source);
  }
  return text + " every " + std::to_string(options_.refreshSeconds) + " s; max age " +
         std::to_string(options_.maxAgeSeconds) + " s; alarm after " + std::to_string(options_.alarmAfterSeconds) +
         " s; " + (login_ ? "login required" : "no login") +
         "; at most " + std::to_string(connectionCap_) + " connections per listener, " +
         std::to_string(clients_->maxPerClient()) + " per client";
}

}  // namespace gw::bridge
