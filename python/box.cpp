// Boxes in memory and whole runs: vorlan's options from its command line's
// words (the same parser, the same refusals), a box synthesised on a worker
// thread with the GIL released while the calling thread reports its progress
// and watches for Ctrl-C, and its components, made in one block, handed to
// numpy as one array with no copy.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "python/bindings.hpp"
#include "vorlan/command_line.hpp"
#include "windfield/box.hpp"
#include "windfield/constraints.hpp"

namespace wind::python {

namespace {

std::vector<const char*> commandLine(const std::vector<std::string>& words) {
  std::vector<const char*> argv{"vorlan"};
  for (const std::string& w : words) argv.push_back(w.c_str());
  return argv;
}

// vorlan's options from the words of its command line, without a file.
RunOptions runOptions(const std::vector<std::string>& words) {
  const std::vector<const char*> argv = commandLine(words);
  VorlanOptions o = parseVorlanCommandLine(int(argv.size()), argv.data());
  if (!o.fileArguments.empty())
    throw std::invalid_argument("options: '" + o.fileArguments.front() +
                                "' is not an option of vorlan");
  if (o.help || o.version)
    throw std::invalid_argument("options: --help and --version make no box");
  return o;
}

// Runs work on a thread of its own with the GIL released; meanwhile, every
// interval, the calling thread takes the GIL, checks for signals and calls
// report(). A Python error (KeyboardInterrupt, or one raised by report) stops
// the calls and is raised once the work has ended; a failure of the work is
// thrown again here.
template <class Work, class Report>
void runBeside(Work&& work, Report&& report, std::chrono::milliseconds interval) {
  std::mutex mutex;
  std::condition_variable cv;
  bool finished = false;
  std::exception_ptr failure;
  bool pythonFailed = false;
  {
    py::gil_scoped_release released;
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex);
      finished = true;
      cv.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!cv.wait_for(lock, interval, [&] { return finished; })) {
      if (pythonFailed) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire held;
        try {
          if (PyErr_CheckSignals() != 0) throw py::error_already_set();
          report();
        } catch (py::error_already_set& e) {
          e.restore();
          pythonFailed = true;
        }
      }
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (pythonFailed) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
}

// Every component's values, made in one block (FieldBlocks::one), taken out
// of the fields and owned by the array: shape (components, N...).
py::array takeFields(FieldArrays& f, const std::vector<py::ssize_t>& shape) {
  std::unique_ptr<float[], detail::BlockDeleter> block = f.takeAll();
  if (!block) throw std::logic_error("the box's fields are not in one block");
  py::capsule owner(block.get(), [](void* p) { detail::BlockDeleter()(p); });
  float* data = block.release();
  return py::array_t<float>(shape, data, owner);
}

py::dict statisticsOf(const ComponentStatistics& s) {
  py::dict d;
  d["count"] = s.count;
  d["mean"] = s.mean;
  d["std"] = s.std;
  d["min"] = s.min;
  d["max"] = s.max;
  return d;
}

py::dict boxResult(const PreparedRuns& p, Box& box) {
  const SimulationInput& in = p.input;
  std::vector<py::ssize_t> shape{in.nComp};
  for (int d = 0; d < in.fieldDim; ++d) shape.push_back(in.NPoint[d]);
  py::list statistics, components;
  for (int c = 0; c < in.nComp; ++c) {
    statistics.append(statisticsOf(box.statistics[c]));
    components.append(in.components[c]);
  }
  py::dict r;
  r["array"] = takeFields(box.fields, shape);
  r["statistics"] = statistics;
  r["components"] = components;
  r["N"] = py::tuple(py::cast(std::vector<int>(in.NPoint, in.NPoint + in.fieldDim)));
  r["LMax"] = py::tuple(py::cast(std::vector<float>(in.LMax, in.LMax + in.fieldDim)));
  r["source"] = sourceKeyword(in.source);
  r["alphaeps"] = in.params.alphaeps;
  r["L"] = in.params.L;
  r["Gamma"] = in.params.Gamma;
  r["seed"] = in.seed;
  r["layout"] = p.options.layout == OutputLayout::inflowwind ? "inflowwind" : "classic";
  if (p.handOver.placement) {
    const GridPlacement& g = *p.handOver.placement;
    r["wind_speed"] = g.windSpeed;
    r["hub_height"] = g.hubHeight;
    r["grid_bottom"] = g.gridBottom;
  }
  if (box.handed.scaling) {
    py::list factors;
    for (int c = 0; c < box.handed.scaling->nComp; ++c)
      factors.append(box.handed.scaling->components[c].factor);
    r["iec_scale_factors"] = factors;
  }
  if (p.constraints) {
    r["constraint_largest_difference"] = py::cast(box.outcome.largestDifference);
    r["constraint_nugget"] = box.outcome.largestNugget;
  }
  return r;
}

}  // namespace

void addBox(py::module_& m) {
  m.def(
      "make_box",
      [](const std::string& text, const std::string& name, const std::vector<std::string>& words,
         const std::optional<std::string>& constraints, const std::string& constraintsName,
         const py::object& progress, double interval) {
        if (!(interval > 0.0 && interval <= 3600.0))
          throw std::invalid_argument("progress_interval: seconds above 0 and at most 3600, given " +
                                      std::to_string(interval));
        if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
          throw std::invalid_argument("progress: a callable is needed");
        PreparedRuns p;
        static_cast<RunOptions&>(p.options) = runOptions(words);
        p.options.inputFile = name;
        SynthesisContext context;
        std::optional<Box> box;
        runBeside(
            [&] {
              std::ostringstream echo;
              std::istringstream in(text);
              readParameters(p, in, parameterSourceStep, echo);
              if (constraints) {
                std::istringstream series(*constraints);
                p.options.constraintSeries =
                    std::make_shared<const ConstraintSeries>(parseConstraints(series, constraintsName));
              }
              box.emplace(synthesiseBox(p, context, SimulatorSteps{}, FieldBlocks::one));
            },
            [&] {
              if (progress.is_none()) return;
              const SynthesisProgress& s = context.progress;
              progress(stageName(s.stage()), s.done(), s.total());
            },
            std::chrono::milliseconds(static_cast<long>(interval * 1000.0 + 0.5)));
        return boxResult(p, *box);
      },
      py::arg("text"), py::arg("name"), py::arg("words"), py::arg("constraints"),
      py::arg("constraints_name"), py::arg("progress"), py::arg("interval"));

  m.def(
      "run_vorlan",
      [](const std::vector<std::string>& words) {
        const std::vector<const char*> argv = commandLine(words);
        std::ostringstream echo;
        runBeside([&] { runVorlan(int(argv.size()), argv.data(), SimulatorSteps{}, echo, echo); },
                  [] {}, std::chrono::milliseconds(100));
        return echo.str();
      },
      py::arg("words"));
}

}  // namespace wind::python
