// The join use cases: one request, the single join and the batch join.
//
// A front end builds one JoinRequest from its controls or its arguments and hands it to
// JoinFiles (many files into one target) or RunBatchJoin (the same joined files before or
// after each of many main files). The engine reads what it needs of the inputs, chooses the
// way of each join (frame copy or re-encoding), names the batch's targets and runs the joins;
// the front end shows the progress and turns outcomes and row states into its own texts.
//
// Auto needs the facts of every input: under Auto a join with an input whose facts cannot be
// read is refused before anything is created, with "Failed to open file \"<path>\".", in the
// single join and in every row of a batch alike. Without Auto the facts are not needed, and
// such an input fails the join only when the join itself cannot read it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "audio/EncodingParams.h"
#include "engine/Facts.h"
#include "engine/Options.h"
#include "engine/Progress.h"

namespace corvane {

// The MPEG audio layer value of JoinInputFacts for a file that is no MPEG audio.
constexpr int kNotMpegAudio = 0;
constexpr int kLayer3 = 3;

// The facts of one input as the joiner lists hold them.
struct JoinInputFacts {
    std::string path;
    int sampleRate = 0;           // Hz, of the first frame at the audio start
    int bitrate = 0;              // kbps of the audio (SourceFacts::bitrate); a PCM file's own rate
    int channelMode = kChannelModeNone;  // 0..3, kChannelModeNone when unknown
    int layer = kNotMpegAudio;    // MPEG audio layer 1..3, kNotMpegAudio for any other format
    bool variableBitrate = false; // a Xing or VBRI header frame, or frames of several bit rates
    bool factsRead = false;       // the facts above were read (ReadJoinInputFacts succeeded)
};

// Reads the facts of path and sets factsRead: an MPEG file's with the MP3 reader, any other
// file's that the audio library decodes (WAV, FLAC, ...) from its decoded stream (layer
// kNotMpegAudio, mode mono or stereo by its channels, its average bit rate). False when
// neither reads the file; facts then holds only the path.
bool ReadJoinInputFacts(const std::string& path, JoinInputFacts& facts);
// The join facts of an MPEG file at path whose facts the MP3 reader gave (factsRead set).
JoinInputFacts JoinInputFactsOf(const std::string& path, const SourceFacts& source);

// One join as a front end asks for it. Both joins read options: autoParams and encoding
// choose the way; placement and joinedPostfix name and place the batch's targets (the single
// join writes where it is told).
struct JoinRequest {
    JoinerOptions options;

    // The single join: the files in the order they are joined, the target path (replaced
    // when it exists: the user chose it) and its tag (no field set and track 0: no tag).
    std::vector<std::string> inputs;
    std::string target;
    TagFields tag;

    // The batch join: the joined files' facts, in order (as the lists read them when the
    // files were added), where they go, and how many rows re-encode at once (1: one row
    // after another). Main files, tags and targets are the rows'.
    std::vector<JoinInputFacts> joined;
    JoinType joinType = JoinType::InsertAtBeginning;
    int jobs = DefaultJobs();
};

// The single join: request.inputs, in order, into request.target with request.tag, by the
// way the options choose (frame copy when Auto finds the inputs alike, else re-encoding).
// Done when the target was written completely and took its name. Failed, with nothing
// created, under Auto when an input's facts cannot be read ("Failed to open file
// \"<path>\".", the first such input). Otherwise Failed or Cancelled as the join ends, with
// nothing of it left: "Target file name is same as original file", "Failed to create file
// \"<target>\".", "Failed to open file \"<input>\".", "Failed to read file \"<input>\".",
// "Failed to write file \"<target>\".", "Bad encoding parameter: ...". dialog may be null
// (no progress, no cancel).
Outcome JoinFiles(const JoinRequest& request, IProgressDialog* dialog);

// How far a row of a batch join got.
enum class JoinRowState {
    Waiting,    // not reached by this run
    Joining,    // the row being joined, the one the progress dialog shows
    Joined,     // targetPath holds the target written
    Failed,     // failure holds the reason
    Cancelled,  // the batch was cancelled while this row was joined
};

// One main file of the batch list, and what the batch made of it.
struct BatchJoinRow {
    JoinInputFacts facts;     // path and facts of the main file
    TagFields tag;            // the target's tag; all empty (track 0) gives no tag
    JoinRowState state = JoinRowState::Waiting;
    std::string targetPath;   // Joined: the name the target took; empty in any other state
    std::string failure;      // Failed: the message, e.g. "Target exists and skipped"
};

// What a front end shows of the rows besides the per-file dialog.
class IBatchJoinObserver {
public:
    virtual ~IBatchJoinObserver() = default;
    // Row index changed its state (and with it targetPath or failure).
    virtual void OnRowChanged(size_t index) = 0;
};

// The batch join: request.joined (in order, before the main file for
// JoinType::InsertAtBeginning, after it for JoinType::AppendToEnd) with every row's main file,
// in row order, each into a target named and placed by the options. A row fails on its own
// (its naming, its unread facts under Auto, its join); the batch goes on. Each row turns
// Joining, then Joined or Failed, in list order, whatever runs side by side. dialog (may be
// null) is the per-file progress and cancel flag; observer may be null; both are used on the
// calling thread only. The outcome is Cancelled when the batch was cancelled (that row is
// Cancelled, nothing of it or of the rows being joined after it is left, and later rows are
// left as they were); Failed when any row failed (the message is the first failed row's
// failure; every row keeps its own); Done when every row was joined.
Outcome RunBatchJoin(const JoinRequest& request, std::vector<BatchJoinRow>& rows, IProgressDialog* dialog,
                     IBatchJoinObserver* observer);

// Index of the first row (in list order) that recorded a target, or rows.size() when none:
// the one a page shows in the file manager afterwards.
size_t FirstJoinedRow(const std::vector<BatchJoinRow>& rows);

}  // namespace corvane
