// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-log: records the charger without a window, lists the recorded runs, exports a run,
// imports an export file, keeps the packs and their runs, checks and salvages a recordings file,
// and serves the web page of the charger and the runs.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "korvane/app/program_info.h"
#include "korvane/link/port_map.h"
#include "korvane/logger/http_options.h"
#include "korvane/logger/logger_settings.h"
#include "korvane/logger/pack_verbs.h"
#include "korvane/logger/record_command.h"
#include "korvane/logger/run_table.h"
#include "korvane/logger/serve_command.h"
#include "korvane/logger/store_commands.h"
#include "korvane/logger/store_repair.h"
#include "korvane/publish/options.h"
#include "korvane/record/import_reader.h"

namespace {

using namespace korvane;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A port number no default device uses; --device is mapped to it for this run.
constexpr int kDevicePort = 99;

constexpr const char* kFooter = R"(Exit status:
  0  done; record ends with 0 on SIGINT, SIGTERM or SIGHUP and when --duration ends; check:
     the file is sound ("FILE is sound: N runs, M frames")
  1  check: the file is damaged; it prints "FILE is damaged:" and SQLite's findings (at most
     20), then how to salvage it
  1  failed, with one of these messages on standard error ("korvane-log: ..."):
       cannot open the recordings file FILE: REASON
                        runs, export, packs, pack edit, retire and delete, assign: there is
                        no such file (they never create one)
       Cannot read FILE (REASON)
                        runs, export, check, salvage: the file may not be read (they only
                        read it, so a file the user may not write is fine)
       Cannot read FILE (its recordings in FILE-wal need a -shm file beside it, which cannot
       be made in that folder: copy both files into a folder you may write)
       FILE is not used: it holds a trigger (NAME), which Korvane Connect never makes
                        also "a view": the file came from elsewhere; it is left untouched
       NEW exists: salvage writes a new file and replaces none
                        salvage
       Cannot use FILE (DETAIL), Cannot write to FILE (DETAIL), FILE is in use by another
       program (DETAIL), FILE is damaged or not a recording (DETAIL), No room to record in
       FILE (DETAIL), FILE was written by a newer version of Korvane Connect (...),
       FILE is another program's database, not a Korvane Connect recording
                        the recordings file cannot be used (record goes on and retries when
                        it is only in use, full or damaged: a damaged file is moved aside)
       there is no run RUN in FILE
                        export, assign
       there is no pack "NAME" in FILE
                        pack edit, retire and delete, assign, record --pack (nothing is
                        recorded), import --pack (nothing is imported)
       REASON           pack add and edit: the name is empty, too long or taken, the cells
                        or the capacity are out of range; pack delete: the pack has runs
                        (retire it instead)
       cannot write OUTPUT[: REASON], cannot write to standard output[: REASON]
                        export, runs, record --tsv (a failed export leaves OUTPUT as it was)
       FILE: line N: REASON; nothing was imported
                        import: line N is not in the export format (the header is line 1),
                        its time is earlier than the line before, or the clocks skip it in
                        the time zone (written in another zone? see --timezone)
       cannot open FILE: REASON, the file could not be read after line N
                        import (no store is created)
       STORE is being recorded into (run N is in progress): import when the recording has
       stopped, or into another store
                        import: its frames would land inside the run being recorded
  2  bad usage: no or an unknown verb, an unknown option, a missing or invalid value

import says what was new on standard output; a frame already in the store (the same second,
the same values) is skipped, so a file imported twice or overlapping exports add nothing twice:
  imported N frames and R runs (IDS) into STORE
  imported N new frames (M already there) and R runs (IDS) into STORE
  nothing new in FILE: all N frames are already in STORE
  nothing new in FILE: it has no frames      (a header only: no store is created)

salvage copies every run and frame it can read into NEW, keeping their ids, and prints:
  copied N frames and M runs of DAMAGED into NEW
  could not read frames A to B, C (K ids)     ids that could not be read, if any
  could not read runs A to B (K ids)
  runs missing frames: R, S                   copied runs of which frames could not be read
  the highest frame id could not be read: frames were looked for up to id N
  every run and frame could be read           when nothing was lost
NEW gets an identity of its own: a publisher sends it from its first frame.

While recording, standard error gets one line per event:
  recording port N (DEVICE) into FILE         at the start
  status: TEXT                                the link's status as the window shows it:
                                              Initializing..., OK, ERROR: unable to open COM
                                              port, ERROR: wrong frame length, ERROR: wrong
                                              checksum, ERROR: timeout (no data)
  status: WHY                                 after "unable to open", what to do about it:
                                              No such device: ..., Permission denied: ...
  port: N -> RESULT (REASON)                  why the port does not open, once per change
  run ID closed: channel C, KIND, Interrupted (left in progress by a recording that did not
  stop cleanly)                               at the start, for each run a crash left open
  recording: FILE is damaged (FINDING); recording goes on; `korvane-log check` and
  `korvane-log salvage` can tell more and rescue what is readable
                                              at the start, when the file's check finds damage
  run ID began: channel C, KIND[, pack "NAME"]
  run ID ended: channel C, KIND, END STATE, DURATION, CAPACITY Ah, FRAMES frames[, pack "NAME"]
                                              END STATE: Finished: TEXT, Error: TEXT, Stopped
                                              (the channel stopped operating: 10 s "not
                                              operating"), Interrupted (a new charge or another
                                              pack began, 60 s without a frame, the recording
                                              stopped)
  recording paused: REASON / recording resumed
                                              resumed once frames are written again
  stopped (WHY): N frames recorded[, M not recorded]
                                              M: the queue was full, or the file could not take
                                              them at the stop
  mqtt: connected to HOST:PORT, publishing to PREFIX/# from frame N
  mqtt: cannot connect to HOST:PORT: CAUSE; retrying      unknown host, connection refused,
                                              bad credentials, TLS failure: REASON
  mqtt: connection to HOST:PORT lost (CAUSE); retrying
  mqtt: another program publishes FILE; waiting
                                              one publisher per store; taken over when it stops
  mqtt: the recordings file was replaced; publishing the new one from its first frame
  web page at URL                             with --http, before the recording starts
A missing device is retried about once a second, as the window does. A broker that cannot be
reached is retried after 1 s, doubling up to 60 s; the recording goes on meanwhile, and what
the broker missed is sent when it is back.

record --http [ADDR:]PORT and serve --http [ADDR:]PORT serve the web page: the live values
of both channels (/), the runs (/runs), a run's plot and export (/runs/ID) and their JSON under
/api. The address is 127.0.0.1 unless named: 0.0.0.0 listens on every network, so give it
--http-password-file and --http-cert/--http-key then. serve reads the store only and says
"serving FILE read-only at URL"; it ends on SIGINT, SIGTERM or SIGHUP: stopped (SIGNAL).
When the page cannot be served, nothing is recorded and the exit status is 1:
  cannot serve the web page on ADDR:PORT: Address already in use (or another reason)
  cannot read the certificate FILE: REASON, cannot use the certificate FILE with the key KEY
  cannot serve the web page: its files are not in "DIR" (no index.html; ...)

runs lists a table by default; runs --json writes a JSON array instead, one run per line, each
run the object of the MQTT run message: start and end in ISO 8601 UTC, numbers as numbers.
--since takes local time unless the time ends in Z or an offset: 2026-12-01, 2026-12-01T18:30,
"2026-12-01 18:30:00", 2026-12-01T18:30:00.250Z, 2026-12-01T18:30+01:00.

packs lists the packs by name: Pack, Chemistry, Cells, Rated [mAh], Runs, Cycles (finished
discharges), Last used, Last capacity [mAh] (the last finished discharge, else charge),
Health [%] (last capacity / rated), IR [mOhm] (the newest estimate), Retired (yes or no); a
value not known is an empty field. Retired packs are listed only with --all. record --pack
1=NAME keeps NAME in the store as the pack of channel 1: every run that begins there belongs
to it until the choice changes (--pack 1= or --no-pack 1 clears it); the window shows and sets
the same choice. pack add, edit, retire and delete and assign say what they did on standard
output.

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

const CLI::Validator kChannel(
    [](std::string& text) {
      return text == "1" || text == "2" ? std::string()
                                        : "\"" + text + "\" is not a charger channel (1 or 2)";
    },
    "");
const CLI::Validator kSince(
    [](std::string& text) {
      return logger::ParseSince(text) ? std::string()
                                      : "\"" + text +
                                            "\" is not a date: YYYY-MM-DD[THH:MM[:SS]], local "
                                            "unless Z or +HH:MM follows";
    },
    "");
const CLI::Validator kTimeZone(
    [](std::string& name) {
      try {
        record::CheckTimeZone(name);
        return std::string();
      } catch (const std::invalid_argument& error) {
        return std::string(error.what());
      }
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
  std::string timezone;
  publish::BrokerChoice mqtt;
  logger::RunListing listing;
  std::string since;
  logger::HttpChoice http;
};

int Run(CLI::App& app, const Arguments& args, CLI::App* record, CLI::App* runs, CLI::App* exporter,
        CLI::App* importer, CLI::App* server, CLI::Option* duration,
        const logger::PackVerbs& pack_verbs) {
  const logger::LoggerSettings settings = logger::ReadLoggerSettings();
  const std::string store = logger::StorePath(args.store, settings);
  if (server->parsed()) {
    return logger::RunServe(logger::ResolveHttp(args.http, store));
  }
  if (record->parsed()) {
    link::PortMap ports;
    logger::RecordOptions options;
    options.store = store;
    options.packs = pack_verbs.Choices();
    options.tsv = args.tsv;
    if (duration->count() > 0) {
      options.duration_s = args.duration_s;
    }
    if (!args.mqtt.address.empty()) {
      options.mqtt = publish::ResolveBroker(args.mqtt);
    }
    if (!args.http.listen.empty()) {
      options.http = logger::ResolveHttp(args.http, store);
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
    logger::RunListing listing = args.listing;
    if (!args.since.empty()) {
      listing.since_ms = logger::ParseSince(args.since);
    }
    logger::ListRuns(store, listing, std::cout);
  } else if (exporter->parsed()) {
    logger::ExportRunTo(store, args.run, args.output);
  } else if (importer->parsed()) {
    logger::ImportInto(store, args.file, args.timezone, pack_verbs.ImportPack(), std::cout);
  } else if (!pack_verbs.Run(store, std::cout)) {
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
      "a run, imports an export file, keeps the packs and their runs, and checks and salvages "
      "a recordings file.",
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
  record
      ->add_option("--mqtt-discovery", args.mqtt.discovery,
                   "Announce the charger's sensors to Home Assistant under this discovery prefix")
      ->expected(0, 1)
      ->default_str("homeassistant")
      ->needs(mqtt)
      ->check(CLI::Validator(publish::DiscoveryPrefixProblem, ""))
      ->type_name("[PREFIX]");

  logger::AddHttpOptions(*record, args.http, false);

  CLI::App* server = app.add_subcommand(
      "serve",
      "Serve the web page of the recorded runs (read-only), e.g. while another program "
      "records");
  store_option(server);
  logger::AddHttpOptions(*server, args.http, true);

  CLI::App* runs = app.add_subcommand("runs", "List the recorded runs, oldest first");
  store_option(runs);
  runs->add_flag("--json", args.listing.json, "Write a JSON array instead of the table");
  runs->add_option("--channel", args.listing.channel, "Only the runs of this charger channel")
      ->check(kChannel)
      ->type_name("1|2");
  runs->add_option("--since", args.since,
                   "Only the runs started at or after DATE, e.g. 2026-12-01T18:30")
      ->check(kSince)
      ->type_name("DATE");

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
  importer
      ->add_option("--timezone", args.timezone,
                   "The time zone the file was written in (default: this computer's)")
      ->check(kTimeZone)
      ->type_name("ZONE");
  store_option(importer);

  const logger::PackVerbs pack_verbs(app, *record, *importer, store_option);

  // Examining and rescuing a damaged file; both only read it.
  std::string damaged;
  CLI::App* checker = app.add_subcommand("check", "Check a recordings file for damage (read-only)");
  store_option(checker);
  CLI::App* salvager = app.add_subcommand(
      "salvage", "Copy every run and frame a damaged recordings file still holds into a new one");
  salvager->add_option("DAMAGED", damaged, "The damaged recordings file")->required();
  salvager->add_option("--store", args.store, "The new recordings file (must not exist)")
      ->required()
      ->type_name("NEW");

  std::vector<CLI::App*> verbs = {record, server, runs, exporter, importer, checker, salvager};
  verbs.insert(verbs.end(), pack_verbs.Verbs().begin(), pack_verbs.Verbs().end());
  for (CLI::App* verb : verbs) {
    verb->footer("Exit status, messages and settings: korvane-log --help\n");
  }
  // CLI11 would only say that a verb is required.
  const std::string first = argc > 1 ? argv[1] : "";
  std::vector<std::string> names = {"record", "serve", "runs",   "export",
                                    "import", "check", "salvage"};
  names.insert(names.end(), logger::PackVerbs::Names().begin(), logger::PackVerbs::Names().end());
  if (!first.empty() && first[0] != '-' &&
      std::find(names.begin(), names.end(), first) == names.end()) {
    std::cerr << "\"" << first << "\" is not a verb: record, serve, runs, export, import, packs, "
              << "pack, assign, check or salvage\n"
              << "Run with --help for more information.\n";
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : kExitUsage;
  }
  try {
    if (checker->parsed()) {
      return logger::CheckStoreFile(logger::StorePath(args.store, logger::ReadLoggerSettings()),
                                    std::cout);
    }
    if (salvager->parsed()) {
      logger::SalvageStoreFile(damaged, args.store, std::cout);
      return 0;
    }
    return Run(app, args, record, runs, exporter, importer, server, duration, pack_verbs);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "korvane-log: " << error.what() << "\n";
    return kExitFailed;
  }
}
