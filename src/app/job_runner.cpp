#include "app/job_runner.h"

#include <QTimer>

namespace korvex {

JobRunner::JobRunner(int intervalMs, QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  timer_->setObjectName(QStringLiteral("jobTimer"));
  timer_->setInterval(intervalMs);
  connect(timer_, &QTimer::timeout, this, [this] {
    // A job told to stop that hangs in a read is ended without it.
    if (stopRequested()) thread_.rescueIfStuck();
    poll();
  });
}

void JobRunner::poll() {
  const bool over = !thread_.running();
  emit progressed();
  if (over) emit ended();
}

JobRunner::~JobRunner() {
  requestStop();
  thread_.joinRescuing();
}

bool JobRunner::start(Body body) {
  if (thread_.running()) return false;
  thread_.join();
  progress_.reset();
  stop_ = std::make_unique<StopRequest>();
  if (!thread_.start([this, body = std::move(body), stop = stop_.get()] { body(progress_, *stop); })) return false;
  timer_->start();
  return true;
}

void JobRunner::requestStop() {
  if (stop_) stop_->request();
}

void JobRunner::end() {
  thread_.join();
  timer_->stop();
}

void JobRunner::keepTicking() {
  if (!timer_->isActive()) timer_->start();
}

}  // namespace korvex
