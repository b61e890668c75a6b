// JoinFiles: the single join, from the request to the finished target.
#include <string>
#include <vector>

#include "engine/Join.h"
#include "engine/base/Messages.h"
#include "engine/join/JoinDecision.h"
#include "engine/join/JoinJob.h"

namespace corvane {

Outcome JoinFiles(const JoinRequest& request, IProgressDialog* dialog) {
    // Only Auto looks at the inputs before the join: it cannot choose without their facts.
    std::vector<JoinInputFacts> facts;
    if (request.options.autoParams) {
        facts.resize(request.inputs.size());
        for (size_t i = 0; i < request.inputs.size(); ++i) {
            if (!ReadJoinInputFacts(request.inputs[i], facts[i])) {
                return Outcome::Failed(OpenFileFailure(request.inputs[i]));
            }
        }
    }
    CJoinJob job;
    job.AddFiles(request.inputs);
    job.MakeTag(request.tag);
    job.SetChapters(request.options.writeChapters);
    return RunJoin(job, ChooseJoinWay(request.options, facts), request.target, dialog);
}

}  // namespace corvane
