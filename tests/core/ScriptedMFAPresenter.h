#pragma once

#include <QList>
#include <functional>

#include "core/api/KOVMFAPresenter.h"
#include "core/api/MFAParameter.h"
#include "platform/dispatch/MainQueue.h"

namespace kova::test {

// Plays the user at the MFA sheet: each showing is answered by the next
// scripted behaviour, on a later turn of the main loop, as a sheet would.
class ScriptedMFAPresenter : public KOVMFAPresenter {
public:
    using Submit = std::function<void(const QList<std::shared_ptr<MFAParameter>> &)>;
    using Cancel = std::function<void()>;
    using Behaviour = std::function<void(const MFAPresentation &, Submit, Cancel)>;

    static Behaviour answer(QStringList answers)
    {
        return [answers](const MFAPresentation &p, Submit submit, Cancel) {
            for (qsizetype i = 0; i < p.prompts.size() && i < answers.size(); ++i)
                p.prompts[i]->setAnswer(answers[i]);
            submit(p.prompts);
        };
    }
    static Behaviour cancel()
    {
        return [](const MFAPresentation &, Submit, Cancel cancel) { cancel(); };
    }

    bool available = true;
    QList<Behaviour> script;
    QList<MFAPresentation> shown;

    bool presentMFA(const MFAPresentation &presentation, Submit submitted, Cancel cancelled) override
    {
        shown.append(presentation);
        if (!available)
            return false;
        Behaviour next = script.isEmpty() ? cancel() : script.takeFirst();
        platform::MainQueue::async([next, presentation, submitted, cancelled] { next(presentation, submitted, cancelled); });
        return true;
    }
};

} // namespace kova::test
