#pragma once

namespace kova {

// Where one payment flow stands, so that its completion is reported exactly
// once whichever road ends it: the user's cancel, the host's dismissal or
// the transfer's result. One transfer runs per flow.
class KOVPaymentFlowState {
public:
    enum class Phase {
        Choosing,      // account or amount still open; a cancel is possible
        Transferring,  // the transfer has been sent; only its result ends the flow
        ShowingResult, // the completion has run and a result screen is up
        Ended,         // nothing more is reported
    };
    enum class HostDismissal { ReportCancel, SkipScreens, Nothing };

    Phase phase() const { return m_phase; }
    bool screensSkipped() const { return m_screensSkipped; }

    // The user closed the flow (its back button or its own window): YES
    // once, and only before a transfer has started.
    bool cancel();
    // Send, or Continue with an amount given: YES once per flow.
    bool beginTransfer();
    // The transfer's result: YES once. With `showsResult` the flow waits for
    // the result screen's button, unless the host has taken the screens away.
    bool finishTransfer(bool showsResult);
    // The result screen's button: YES once.
    bool closeResult();
    // The host took the flow off the screen: before a transfer that is the
    // user's cancel; during one the result is still reported but no screen
    // follows it.
    HostDismissal hostDismissed();

    // A step between screens (presenting the amount pad, a sub-accounts
    // choice) that a second tap must not start again.
    bool beginStep();
    void endStep() { m_stepRunning = false; }

private:
    Phase m_phase = Phase::Choosing;
    bool m_screensSkipped = false;
    bool m_stepRunning = false;
};

} // namespace kova
