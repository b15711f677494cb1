#pragma once
// The controller of a job's server library (program code + "S", such as WOFB07S.so), as
// a client that runs the job in its own process sees it: the library exports
// GetSvrController, which makes a new controller; the client hands it the job's packet
// through slot 3, reads the outcome through slot 2 and frees it. Client and library are
// compiled against this header alone; the slot order is the contract.
//
// Packet of slot 3, by the job kind of the request:
//   kind "B" (7 elements, 0..6): request number, company code, user code, parameter
//       packet, database name, extra text, product id;
//   any other kind (12 elements, 0..11): request number, spare text, company code, user
//       code, database name, parameter packet, count, job kind in upper case, extra
//       text, product id, options-filled flag (0 or 1), the user's interface code page.
// The outcome of slot 2 is an error text, empty when the job succeeded. Slot 3 may raise
// (Exception); the client still reads slot 2 afterwards.
//
// The application server (qvappserver) runs queued jobs through the same slots: request
// number = the job number, parameter packet = the job's option values (a periodic job's
// rolled to the run's date), texts in the database code page, extra text = the job
// number followed by the four-digit run number ("202403040000170003"), product id 3; a
// periodic job's run adds its run key (support/RunSchedule.h PeriodicRunKey: the run date
// "yyyymmdd", or for hourly cycles the run number in eight digits), for what a library
// must make its own for each run, such as a batch number ("202403040000170003" +
// "20240304").
//
// Re-runs. When a server stops during a run (killed, power lost), the next server that
// starts runs the same run once more, with the same request number and extra text; a run
// interrupted twice is recorded as failed. A library must therefore be safe to run again
// after an interruption: do the job's changes in one database transaction (an interrupted
// run then left nothing), or record in that transaction what was done under the request
// number and extra text, and skip what is recorded.

#include "platform/Variant.h"

#include <string>

class TSvrController {
public:
    TSvrController() = default;
    TSvrController(const TSvrController&) = delete;
    TSvrController& operator=(const TSvrController&) = delete;

    // Slots 0 and 1: not called by the client.
    virtual void Reserved0() {}
    virtual void Reserved1() {}
    // Slot 2: the outcome of the last run, an error text; empty on success.
    virtual std::string GetResultText() = 0;
    // Slot 3: runs the job described by the packet.
    virtual void RunJob(const Variant& packet) = 0;
    // Declared after the slots so that the slot numbers above hold.
    virtual ~TSvrController() = default;
    // After the destructor, so the slots above keep their numbers: what a successful run
    // did, in words for the run's messages (the result text is empty then). Libraries
    // without a summary answer the empty text.
    virtual std::string GetSummaryText() { return {}; }
    // Appended, so the slots above keep their numbers: asked when a periodic job is queued,
    // with the packet its first run will get (its request number the submission's day and
    // zeros, the job having no number yet), why that run would be refused, as an error text;
    // the job is then not queued. Libraries without a check answer the empty text.
    virtual std::string CheckRequest(const Variant& /*packet*/) { return {}; }
};

extern "C" {
// The library's export: a new controller that the caller frees with delete.
typedef TSvrController* (*TGetSvrController)();
}
