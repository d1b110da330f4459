#include "core/threads.hpp"

#include <algorithm>
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
    // One job at a time, whichever thread asks.
    std::lock_guard<std::mutex> one(busy_);
    {
      std::lock_guard<std::mutex> lock(m_);
      while (static_cast<int>(threads_.size()) < n - 1) threads_.emplace_back([this] { serve(); });
      job_ = &job;
      next_ = 1;
      tasks_ = n;
      left_ = n - 1;
    }
    wake_.notify_all();
    // The workers' tasks use the job: it is left only once they are done,
    // even when the caller's own task throws.
    std::exception_ptr thrown;
    try {
      job(0);
    } catch (...) {
      thrown = std::current_exception();
    }
    std::unique_lock<std::mutex> lock(m_);
    done_.wait(lock, [this] { return left_ == 0; });
    job_ = nullptr;
    if (thrown) std::rethrow_exception(thrown);
  }

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
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  const std::function<void(int)>* job_ = nullptr;
  int next_ = 0, tasks_ = 0, left_ = 0;
  bool stop_ = false;
  static thread_local bool worker_;
};

thread_local bool Workers::worker_ = false;

Workers& workers() {
  static Workers w;
  return w;
}

}  // namespace

int run_threads() {
  if (const char* e = std::getenv("CIPROP_THREADS")) {
    const int n = std::atoi(e);
    if (n > 0) return n;
  }
  // The processors are counted once: the count reads a system file, and the
  // passes over a list ask for it per batch.
  static const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return processors;
}

void in_shares(int count, int min_share, const std::function<void(int lo, int hi)>& work) {
  const int nt = Workers::on_worker()
                     ? 1
                     : std::max(1, std::min(run_threads(), count / std::max(1, min_share)));
  auto bound = [&](int t) { return static_cast<int>(static_cast<long long>(count) * t / nt); };
  if (nt == 1) {
    work(0, count);
    return;
  }
  workers().run(nt, [&](int t) { work(bound(t), bound(t + 1)); });
}

}  // namespace ciprop
