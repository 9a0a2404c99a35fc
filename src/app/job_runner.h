// Runs one job at a time for the window: owns the worker thread, the job's
// progress record and stop request, and the 1000 ms timer on whose ticks it
// tells of the job's progress and, once the worker has ended, of its end.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "jobs/job_state.h"
#include "jobs/job_thread.h"
#include "base/stop_request.h"

class QTimer;

namespace korvex {

class JobRunner : public QObject {
  Q_OBJECT

 public:
  // What the worker thread runs; it writes its result into a place its
  // caller reads once workerRunning() is false.
  using Body = std::function<void(JobState& progress, const StopRequest& stop)>;

  explicit JobRunner(int intervalMs, QObject* parent = nullptr);
  // Asks a job still running to stop and waits for its worker.
  ~JobRunner() override;

  // Starts `body` with fresh progress and a fresh stop request, and the
  // timer. False (nothing started) while an earlier worker still runs.
  bool start(Body body);
  // Asks the running job to stop; it ends at its next recording file.
  void requestStop();
  bool stopRequested() const { return stop_ && stop_->requested(); }
  // True from start until the body has returned.
  bool workerRunning() const { return thread_.running(); }
  // Waits for the worker and stops the timer.
  void end();
  // Starts the timer again (a job ending while the window closes).
  void keepTicking();

  const JobState& progress() const { return progress_; }

 public slots:
  // What each tick does: progress, then the end once the worker has
  // returned. Whether it has is read first, so the progress told with the
  // end is the worker's last.
  void poll();

 signals:
  void progressed();
  // The worker has returned; told on every tick until end().
  void ended();

 private:
  JobState progress_;
  std::unique_ptr<StopRequest> stop_;
  QTimer* timer_ = nullptr;
  // Last: waited for before the records above go.
  JobThread thread_;
};

}  // namespace korvex
