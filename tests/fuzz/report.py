#!/usr/bin/env python3
"""Writes docs/reliability.md from the last fuzz runs and the fault tests.

    tests/fuzz/report.py [--build DIR] [--fuzz DIR] [--out FILE] [--no-run]

The fuzz part comes from <fuzz dir>/fuzz-results.tsv, which `./run fuzz` writes. The fault
part comes from the fault tests of the ordinary build: every test of a suite whose name
starts with "Fault", and the fault tests of other suites listed below. Each is run once
(unless --no-run, which reads the results of the last run) with its JSON output kept in
<build dir>/fault-results/.
"""

import argparse
import datetime
import json
import os
import subprocess
import sys

# What each fuzz target reads.
READERS = {
    "ini": "ini files as profiles (IniFile over text and files), BriskoC.ini and BriskoS.ini loaded",
    "registry": "the registry file (Registry, ReadMachineString, ResolveRegistryFolder)",
    "password": "DecodePassword of any stored text; EncodePassword round trip",
    "language": "language files read into the write-off form (TQvLangController, TLangReader)",
    "recipients": "recipient XML in the recipient dialog, NormaliseXmlHeader, LoadXmlText",
    "portal_answer": "the portal's answers to the user-list request (ReadPortalAnswer)",
    "md007": "notification definitions (ParseNotificationDefinition)",
    "sql_dialect": "the SQL dialect adapter for both engines; quoted text must survive unchanged",
    "edit_mask": "the edit-mask engine: masks, typed keys, clearing, Text round trip",
    "dates": "date texts under every date order and separator, compact dates, date arithmetic",
    "conditions": "condition values to AppendCondition; each column must stay one condition",
    "frames": "the application server's frames: length headers, WireCodec payloads",
    "server_answers": "what a desk reads from whatever answers on the server's address: greeting, sign-on answer "
                      "and answers to CREATE, INVOKE, GET, PUT and a callback's calls (RemoteConnection and the "
                      "proxy of CreateRemoteObject, against a loopback listener)",
    "batch_data": "write-off batches as a desk reads them from the server: wire values to BatchRecordOf and "
                  "BatchListOf, every count and amount checked; what reads, reads back the same",
    "server_calls": "what a signed-on client sends the application server's endpoint: frames of calls on real "
                    "server objects, as a super user and as a user without rights; the next client is served",
    "download": "zip archives of the new-file download (UnZipFilesOrDir, UnZipFilesList, UnZipFilesXML) "
                "and file descriptions (ParseFileDescription, CompareFileToDownEx, NeedDownLoad)",
}

# Fault tests outside the Fault* suites: binary, test, what the fault is.
OTHER_FAULT_TESTS = [
    ("job_queue_tests", "AppServer.AJobWhoseServerWasKilledMidRunRunsOnceMoreAfterTheRestart",
     "qvappserver killed (SIGKILL) during a queued run, then restarted"),
    ("job_queue_tests", "AppServer.SigtermLetsTheRunningJobFinishAndThenStops",
     "qvappserver stopped (SIGTERM) during a queued run"),
    ("remote_server_tests", "RemoteServer.AServerKilledDuringACallFailsThatCallAndTheNextOneReconnects",
     "qvappserver killed during a remote direct run; the client's next call"),
    ("remote_server_tests", "RemoteServer.NoServerAndAPeerThatNeverAnswersFailClearlyAndInTime",
     "no application server, and a peer that accepts but never answers"),
    ("remote_server_tests", "RemoteServer.GarbageAndOversizedFramesCloseThatConnectionAloneAndTheServerServesOn",
     "garbage and oversized frames sent to a running qvappserver"),
    ("remote_server_tests", "RemoteTrust.WhatAStrangerSendsBeforeTheSignOnIsRefusedAndTheServerServesOnAndStops",
     "the probe's crash frames (arrays over the int range, a non-text user, code page -1) sent before "
     "the sign-on to a running qvappserver, the next client after each, then SIGTERM"),
    ("remote_server_tests", "RemoteTrust.ASignedOnUserActsForHimselfInHisCompanyWithHisRightsAndChangesNothingElse",
     "user U002 signed on: queue and direct runs, another user's run, reversal and schemes, another company's "
     "tables, ADMMR, ResultConnectString; the databases compared byte for byte"),
    ("remote_server_tests", "RemoteTrust.UnansweredCallbacksOfOneUserLeaveRoomForOthersAndSignOnsGoOn",
     "16 calls of one user waiting on callbacks their client never answers, then another user's sign-on and call"),
    ("remote_server_tests", "RemoteTrust.ObjectsConnectionsAndAnnouncedFramesAreBoundedAndOthersAreServed",
     "3,000 objects on one connection, eight announced 128 MiB frames, a connection past the per-address "
     "bound, a signed-on connection left silent"),
    ("host_jobhost_tests", "JobhostAgainstAHostileServer.FramesThatCrashedTheDecoderEndTheRunWithAClearMessage",
     "jobhost against a server that answers with the probe's crash frames"),
    ("server_tests", "ServerBounds.ALockedCompanyDatabaseIsNamedAndTheSystemsTablesStillAnswer",
     "a company database locked by another process beyond the busy time-out (SimpleSQL)"),
    ("batch_form_tests", "NotifyTest.BrokenPortalAnswersOfferWhatCanBeReadAndSayWhy",
     "the portal answering HTTP 500, text that is no XML, a refusal, records without an Id"),
]

# Binaries that hold Fault* suites.
FAULT_BINARIES = ["writeoff_server_tests", "job_queue_tests", "remote_server_tests", "batch_form_tests"]


def read_fuzz(path):
    rows = []
    if not os.path.exists(path):
        return rows
    with open(path, encoding="utf-8") as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) == len(header):
                rows.append(dict(zip(header, fields)))
    return rows


def run_tests(build, binary, test_filter, out):
    exe = os.path.join(build, "tests", binary)
    if not os.path.exists(exe):
        return None
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
    subprocess.run([exe, "--gtest_filter=" + test_filter, "--gtest_output=json:" + out],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, timeout=900, check=False)
    return out if os.path.exists(out) else None


def tests_of(path):
    """(suite.name, properties, passed, seconds, failure text) of every test in a gtest JSON file."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    for suite in data.get("testsuites", []):
        for t in suite.get("testsuite", []):
            failures = t.get("failures", [])
            text = failures[0].get("failure", "").splitlines()[0:2] if failures else []
            yield (suite["name"] + "." + t["name"], t, not failures and t.get("result") == "COMPLETED",
                   float(str(t.get("time", "0")).rstrip("s") or 0), " ".join(text))


def words(name):
    """A test name in words: "ADiskFullFails" -> "a disk full fails"."""
    out = ""
    for i, c in enumerate(name):
        if c.isupper() and i > 0 and not name[i - 1].isupper():
            out += " "
        out += c.lower()
    return out


def main():
    top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(top, "build"))
    ap.add_argument("--fuzz", default=os.path.join(top, "build-asan"))
    ap.add_argument("--out", default=os.path.join(top, "docs", "reliability.md"))
    ap.add_argument("--no-run", action="store_true")
    args = ap.parse_args()

    results = os.path.join(args.build, "fault-results")
    os.makedirs(results, exist_ok=True)
    files = []
    jobs = [(b, "Fault*", os.path.join(results, b + ".json")) for b in FAULT_BINARIES]
    jobs += [(b, t, os.path.join(results, b + "-" + t.replace(".", "-") + ".json")) for b, t, _ in OTHER_FAULT_TESTS]
    for binary, flt, out in jobs:
        if args.no_run:
            files.append(out if os.path.exists(out) else None)
        else:
            if os.path.exists(out):
                os.remove(out)
            files.append(run_tests(args.build, binary, flt, out))

    described = {t: what for _, t, what in OTHER_FAULT_TESTS}
    faults = []
    for path in files:
        if not path:
            continue
        for name, raw, passed, seconds, failure in tests_of(path):
            what = raw.get("tried") or described.get(name) or words(name.split(".", 1)[1])
            faults.append((name, what, seconds, passed, failure))

    fuzz = read_fuzz(os.path.join(args.fuzz, "fuzz-results.tsv"))
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    lines = [
        "# Reliability",
        "",
        "Generated by `tests/fuzz/report.py` on " + now + " from the last `./run fuzz` "
        "(`build-asan/fuzz-results.tsv`) and the fault tests of `build/`. Do not edit by hand.",
        "",
        "## Readers of outside input (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)",
        "",
        "Each target starts from its seeds in `tests/fuzz/corpus/<target>/` and the corpus earlier "
        "runs grew. A finding stops the target; its input is kept in `build-asan/findings/` and "
        "becomes a case of the ordinary tests once fixed.",
        "",
        "| target | what it reads | seconds | executions | findings | outcome |",
        "|---|---|---:|---:|---:|---|",
    ]
    if not fuzz:
        lines.append("| - | no fuzz results yet: run `./run fuzz` | | | | |")
    for r in fuzz:
        lines.append("| `{}` | {} | {} | {:,} | {} | {} |".format(
            r["target"], READERS.get(r["target"], ""), r["seconds"], int(r["executions"] or 0), r["findings"],
            r["result"]))
    lines += [
        "",
        "## Faults injected into outside components (real processes and files)",
        "",
        "| fault test | what was tried | seconds | outcome |",
        "|---|---|---:|---|",
    ]
    if not faults:
        lines.append("| - | no fault results: build with `./run build` first | | |")
    for name, what, seconds, passed, failure in faults:
        outcome = "passed: clear message, nothing lost" if passed else "FAILED: " + failure.replace("|", "/")
        lines.append("| `{}` | {} | {:.1f} | {} |".format(name, what, seconds, outcome))
    lines.append("")
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    print("wrote " + args.out + " (" + str(len(fuzz)) + " fuzz targets, " + str(len(faults)) + " fault tests)")
    return 0 if all(p for _, _, _, p, _ in faults) else 1


if __name__ == "__main__":
    sys.exit(main())
