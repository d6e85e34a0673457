// korvane-log: records the charger without a window, lists the recorded runs, exports a run and
// imports an export file.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "korvane/app/program_info.h"
#include "korvane/link/port_map.h"
#include "korvane/logger/logger_settings.h"
#include "korvane/logger/record_command.h"
#include "korvane/logger/store_commands.h"
#include "korvane/publish/options.h"

namespace {

using namespace korvane;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A port number no default device uses; --device is mapped to it for this run.
constexpr int kDevicePort = 99;

constexpr const char* kFooter = R"(Exit status:
  0  done; record ends with 0 on SIGINT, SIGTERM or SIGHUP and when --duration ends
  1  failed, with one of these messages on standard error ("korvane-log: ..."):
       cannot open the recordings file FILE: REASON
                        runs, export: there is no such file (they never create one)
       Cannot use FILE (DETAIL), Cannot write to FILE (DETAIL), FILE is in use by another
       program (DETAIL), FILE is damaged or not a recording (DETAIL), No room to record in
       FILE (DETAIL), FILE was written by a newer version of Korvane Connect (...),
       FILE is another program's database, not a Korvane Connect recording
                        the recordings file cannot be used (record goes on and retries when
                        it is only in use, full or damaged: a damaged file is moved aside)
       there is no run RUN in FILE
                        export
       cannot write OUTPUT[: REASON], cannot write to standard output[: REASON]
                        export, runs, record --tsv (a failed export leaves OUTPUT as it was)
       FILE: line N: REASON; nothing was imported
                        import: line N is not in the export format (the header is line 1)
       cannot open FILE: REASON, the file could not be read after line N
                        import
       STORE is being recorded into (run N is in progress): import when the recording has
       stopped, or into another store
                        import: its frames would land inside the run being recorded
  2  bad usage: no or an unknown verb, an unknown option, a missing or invalid value

While recording, standard error gets one line per event:
  recording port N (DEVICE) into FILE         at the start
  status: TEXT                                the link's status as the window shows it:
                                              Initializing..., OK, ERROR: unable to open COM
                                              port, ERROR: wrong frame length, ERROR: wrong
                                              checksum, ERROR: timeout (no data)
  status: WHY                                 after "unable to open", what to do about it:
                                              No such device: ..., Permission denied: ...
  port: N -> RESULT (REASON)                  why the port does not open, once per change
  run ID began: channel C, KIND
  run ID ended: channel C, KIND, END STATE, DURATION, CAPACITY Ah, FRAMES frames
  recording paused: REASON / recording resumed
  stopped (WHY): N frames recorded[, M not recorded]
  mqtt: connected to HOST:PORT, publishing to PREFIX/# from frame N
  mqtt: cannot connect to HOST:PORT: CAUSE; retrying      unknown host, connection refused,
                                              bad credentials, TLS failure: REASON
  mqtt: connection to HOST:PORT lost (CAUSE); retrying
  mqtt: another program publishes FILE; waiting
                                              one publisher per store; taken over when it stops
  mqtt: the recordings file was replaced; publishing the new one from its first frame
A missing device is retried about once a second, as the window does. A broker that cannot be
reached is retried after 1 s, doubling up to 60 s; the recording goes on meanwhile, and what
the broker missed is sent when it is back.

Settings: port numbers, the [PORTS] section and [RECORDING] File= are read from the window's
settings file ($XDG_CONFIG_HOME or ~/.config, then "Korvane Connect/korvane-connect.ini").
The recordings file is --store FILE, else [RECORDING] File=, else
$XDG_DATA_HOME (or ~/.local/share) + "/Korvane Connect/recordings.sqlite".
)";

// Whole run ids and positive durations, with messages that say what is wanted.
const CLI::Validator kRunId(
    [](std::string& text) {
      std::size_t used = 0;
      try {
        if (!text.empty() && text[0] != '-' && std::stoll(text, &used) > 0 && used == text.size()) {
          return std::string();
        }
      } catch (const std::exception&) {
      }
      return "\"" + text + "\" is not a run id (a whole number from 1 up, as runs lists it)";
    },
    "ID");
const CLI::Validator kSeconds(
    [](std::string& text) {
      std::size_t used = 0;
      try {
        if (std::stod(text, &used) > 0 && used == text.size()) {
          return std::string();
        }
      } catch (const std::exception&) {
      }
      return "\"" + text + "\" is not a number of seconds above 0";
    },
    "");

const CLI::Validator kBrokerAddress(
    [](std::string& text) {
      try {
        publish::BrokerOptions options;
        publish::ParseBrokerAddress(text, options);
        return std::string();
      } catch (const std::exception& error) {
        return std::string(error.what()) + " (HOST or HOST:PORT wanted)";
      }
    },
    "");
const CLI::Validator kPasswordFile(
    [](std::string& path) {
      try {
        publish::ReadPasswordFile(path);
        return std::string();
      } catch (const std::exception& error) {
        return std::string(error.what());
      }
    },
    "");

struct Arguments {
  int port = 0;
  std::string device;
  std::string store;
  bool tsv = false;
  double duration_s = 0;
  std::int64_t run = 0;
  std::string output;
  std::string file;
  publish::BrokerChoice mqtt;
};

int Run(CLI::App& app, const Arguments& args, CLI::App* record, CLI::App* runs, CLI::App* exporter,
        CLI::App* importer, CLI::Option* duration) {
  const logger::LoggerSettings settings = logger::ReadLoggerSettings();
  const std::string store = logger::StorePath(args.store, settings);
  if (record->parsed()) {
    link::PortMap ports;
    logger::RecordOptions options;
    options.store = store;
    options.tsv = args.tsv;
    if (duration->count() > 0) {
      options.duration_s = args.duration_s;
    }
    if (!args.mqtt.address.empty()) {
      options.mqtt = publish::ResolveBroker(args.mqtt);
    }
    if (!args.device.empty()) {
      ports.SetOverride(kDevicePort, args.device);
      options.port = kDevicePort;
    } else {
      for (const auto& [number, path] : settings.port_overrides) {
        ports.SetOverride(number, path);
      }
      options.port = args.port;
    }
    return logger::RunRecord(options, ports);
  }
  if (runs->parsed()) {
    logger::ListRuns(store, std::cout);
  } else if (exporter->parsed()) {
    logger::ExportRunTo(store, args.run, args.output);
  } else if (importer->parsed()) {
    logger::ImportInto(store, args.file, std::cout);
  } else {
    std::cerr << app.help();
    return kExitUsage;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");  // dates and numbers as the window writes them
  // A closed pipe is an error to report, not a reason to die.
  ::signal(SIGPIPE, SIG_IGN);

  CLI::App app(
      "Records the Korvane charger without a window, lists the recorded runs, exports "
      "a run and imports an export file.",
      "korvane-log");
  app.set_version_flag("--version", app::VersionString(app::CurrentVersion()));
  app.require_subcommand(1);
  app.footer(kFooter);
  Arguments args;
  const auto store_option = [&args](CLI::App* verb) {
    verb->add_option("--store", args.store, "The recordings file")->type_name("FILE");
  };

  CLI::App* record =
      app.add_subcommand("record", "Receive from the charger and record every frame until stopped");
  CLI::Option_group* source = record->add_option_group("source", "Where the charger is");
  source->add_option("--port", args.port, "Port number 1-99, as in the window's settings")
      ->check(CLI::Range(1, link::PortMap::kMaxPort))
      ->type_name("N");
  source->add_option("--device", args.device, "The serial device, e.g. /dev/ttyUSB0")
      ->type_name("PATH");
  source->require_option(1);
  store_option(record);
  record->add_flag("--tsv", args.tsv,
                   "Also write every frame to standard output in the export format");
  CLI::Option* duration =
      record->add_option("--duration", args.duration_s, "Stop after this many seconds")
          ->check(kSeconds)
          ->type_name("SECONDS");

  CLI::Option* mqtt = record
                          ->add_option("--mqtt", args.mqtt.address,
                                       "Also publish every frame and run to this MQTT broker")
                          ->check(kBrokerAddress)
                          ->type_name("HOST[:PORT]");
  record
      ->add_option("--mqtt-topic", args.mqtt.topic,
                   "Topic prefix (default: korvane/ and this machine's host name)")
      ->needs(mqtt)
      ->type_name("PREFIX");
  CLI::Option* mqtt_user =
      record->add_option("--mqtt-user", args.mqtt.user, "User name at the broker")
          ->needs(mqtt)
          ->type_name("NAME");
  record
      ->add_option("--mqtt-password-file", args.mqtt.password_file,
                   "The password: the first line of this file")
      ->needs(mqtt_user)
      ->check(kPasswordFile)
      ->type_name("FILE");
  record
      ->add_option("--mqtt-cafile", args.mqtt.cafile,
                   "Use TLS; the broker's certificate must be signed by this CA")
      ->needs(mqtt)
      ->check(CLI::ExistingFile.description(""))
      ->type_name("FILE");

  CLI::App* runs = app.add_subcommand("runs", "List the recorded runs, oldest first");
  store_option(runs);

  CLI::App* exporter =
      app.add_subcommand("export", "Write the frames of a run in the export format");
  exporter->add_option("RUN", args.run, "The run's id, as runs lists it")
      ->required()
      ->check(kRunId);
  store_option(exporter);
  exporter->add_option("-o,--output", args.output, "The file to write (default: standard output)")
      ->type_name("FILE");

  CLI::App* importer = app.add_subcommand(
      "import", "Read an export file (Export Data or a run export) into the store");
  importer->add_option("FILE", args.file, "The file to read; - for standard input")->required();
  store_option(importer);

  for (CLI::App* verb : {record, runs, exporter, importer}) {
    verb->footer("Exit status, messages and settings: korvane-log --help\n");
  }
  // CLI11 would only say that a verb is required.
  const std::string first = argc > 1 ? argv[1] : "";
  if (!first.empty() && first[0] != '-' && first != "record" && first != "runs" &&
      first != "export" && first != "import") {
    std::cerr << "\"" << first << "\" is not a verb: record, runs, export or import\n"
              << "Run with --help for more information.\n";
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : kExitUsage;
  }
  try {
    return Run(app, args, record, runs, exporter, importer, duration);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "korvane-log: " << error.what() << "\n";
    return kExitFailed;
  }
}
