#pragma once
// What a CLient session of winmarlet-replay needs beside the terminal: the current
// host and the user filter as the options give them, the offline editor on the
// session's terminal, the who list, and a queue for the engine's posted messages.

#include "colouredit/OffLine.h"
#include "protocol/CLient.h"
#include "terminal/ColorTTY.h"
#include "tools/replay/Args.h"

#include <memory>
#include <ostream>
#include <vector>

class TClientReplay : public TEngineOwner
{
public:
    // Options.Mode is "orvo" or "isca". The stores read no settings file.
    TClientReplay(TColorTTY &Terminal, const TReplayOptions &Options);
    ~TClientReplay() override;

    // The engine, bound to this object's stores, editor and queue. This object must
    // outlive every engine call.
    std::unique_ptr<TCLientStateMachine> MakeEngine();

    void Post(uint32_t Msg, uintptr_t WParam, intptr_t LParam) override;
    // The message loop's turn: "edit: 1" / "edit: 0" per queued WM_EDITSTATE.
    void Deliver(std::ostream &Out);
    // "who: NAME" per who-list entry, in list order.
    void PrintWho(std::ostream &Out) const;

    // Held apart so that this header does not bring in the settings file's names.
    std::unique_ptr<THostInfo> Host;
    std::unique_ptr<TUserFilter> Filter;
    TWhoList Who;
    TOffLineEdit Edit;

private:
    std::vector<uintptr_t> Queue;
};
