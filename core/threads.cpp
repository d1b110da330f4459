#include "core/threads.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace ciprop {

namespace {

// Threads that stay for the whole run.  The passes over a list hand out
// shares of every batch, some ten per batch and thousands per run, and
// starting a thread costs more than a small share's work.  A job is cut into
// tasks 0 .. n - 1: the caller takes task 0, the workers the others.
class Workers {
 public:
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  void run(int n, const std::function<void(int)>& job) {
    start(n, job);
    finish(job);
  }

  // Hands tasks 1 .. n - 1 of job to the workers and returns; finish(job)
  // takes task 0 on the caller and waits for the others.  Between the two
  // the workers are the job's alone: one job at a time, whichever thread
  // asks, and the caller's own shares run on it alone.
  void start(int n, const std::function<void(int)>& job) {
    std::unique_lock<std::mutex> one(busy_);
    {
      std::lock_guard<std::mutex> lock(m_);
      while (static_cast<int>(threads_.size()) < n - 1) threads_.emplace_back([this] { serve(); });
      job_ = &job;
      next_ = 1;
      tasks_ = n;
      left_ = n - 1;
    }
    wake_.notify_all();
    holder_ = std::move(one);
    holding_ = true;
  }

  void finish(const std::function<void(int)>& job) {
    // The workers' tasks use the job: it is left only once they are done,
    // even when the caller's own task throws.
    std::exception_ptr thrown;
    try {
      job(0);
    } catch (...) {
      thrown = std::current_exception();
    }
    {
      std::unique_lock<std::mutex> lock(m_);
      done_.wait(lock, [this] { return left_ == 0; });
      job_ = nullptr;
    }
    holding_ = false;
    std::unique_lock<std::mutex> one = std::move(holder_);
    if (thrown) std::rethrow_exception(thrown);
  }

  // Whether the calling thread has handed out a job that it has not
  // finished.
  static bool holding() { return holding_; }

  // Whether the calling thread is one of the workers: a job that cuts work
  // of its own into shares runs them itself.
  static bool on_worker() { return worker_; }

 private:
  void serve() {
    worker_ = true;
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || (job_ && next_ < tasks_); });
      if (stop_) return;
      const int task = next_++;
      const std::function<void(int)>* job = job_;
      lock.unlock();
      (*job)(task);
      lock.lock();
      if (--left_ == 0) done_.notify_one();
    }
  }

  std::mutex busy_, m_;
  std::unique_lock<std::mutex> holder_;  // busy_, from start to finish
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  const std::function<void(int)>* job_ = nullptr;
  int next_ = 0, tasks_ = 0, left_ = 0;
  bool stop_ = false;
  static thread_local bool worker_, holding_;
};

thread_local bool Workers::worker_ = false;
thread_local bool Workers::holding_ = false;

Workers& workers() {
  static Workers w;
  return w;
}

}  // namespace

int threads_asked() {
  const char* e = std::getenv("CIPROP_THREADS");
  if (e == nullptr) return 0;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(e, &end, 10);
  if (end == e || *end != '\0' || errno != 0 || n < 1 || n > INT_MAX) return 0;
  return static_cast<int>(n);
}

int run_threads() {
  if (const int n = threads_asked(); n > 0) return n;
  // The processors are counted once: the count reads a system file, and the
  // passes over a list ask for it per batch.
  static const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return processors;
}

namespace {

// Threads for work cut into `shares` parts: one on a worker or on a caller
// whose workers are out with pieces of its own, so that the two never wait
// on each other.
int threads_for(int shares) {
  if (Workers::on_worker() || Workers::holding()) return 1;
  return std::max(1, std::min(run_threads(), shares));
}

}  // namespace

void in_shares(int count, int min_share, const std::function<void(int lo, int hi)>& work) {
  const int nt = threads_for(count / std::max(1, min_share));
  auto bound = [&](int t) { return static_cast<int>(static_cast<long long>(count) * t / nt); };
  if (nt == 1) {
    work(0, count);
    return;
  }
  workers().run(nt, [&](int t) { work(bound(t), bound(t + 1)); });
}

struct Overlap::State {
  std::function<void(int)> work;
  int count = 0;
  std::atomic<int> next{0};
  // What each thread does: pieces until none is left.
  std::function<void(int)> task = [this](int) {
    for (int p; (p = next.fetch_add(1, std::memory_order_relaxed)) < count;) work(p);
  };
  bool out = false;  // the task is with the workers
};

Overlap::Overlap(int count, std::function<void(int piece)> work) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.work = std::move(work);
  s.count = count;
  if (const int nt = threads_for(count); nt > 1) {
    workers().start(nt, s.task);
    s.out = true;
  }
}

void Overlap::join() {
  State& s = *state_;
  if (s.out) {
    s.out = false;
    workers().finish(s.task);
  } else {
    s.task(0);
  }
}

Overlap::~Overlap() {
  State& s = *state_;
  if (!s.out) return;
  s.next.store(s.count, std::memory_order_relaxed);
  s.out = false;
  workers().finish(s.task);
}

}  // namespace ciprop
