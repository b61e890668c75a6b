// CJoinJob: an ordered list of input files joined into one target, by frame copy or by re-encoding.
//
// Frame copy. An MP3 stream is a sequence of self-contained frame headers with their data,
// so files that share sample rate, bit rate and channel mode can be joined by writing the
// frames of one after those of the other: nothing is decoded and nothing is lost. Only the
// frames are copied; each input's leading ID3v2 tag, its "Xing"/"Info" header frame and any
// trailing ID3v1 tag stay behind, and the target gets the job's own tag instead.
// Pitfall: a header frame describes its own file's length; copied into the middle of a
// joined stream it would be played as a frame of silence and, at the start, make players
// believe the whole target is as long as that one input. The reader's audio start lies after
// that frame, so it is never copied. Frames of differing formats make a stream that players
// mishandle, which is why the join decisions (JoinDecision.h) only choose this way when all
// inputs are alike.
//
// Re-encoding. Every input is decoded to 16-bit PCM, converted to the target's rate and
// channels when it differs, and fed to one LAME encoder, so the target is one seamless
// constant-bit-rate stream: the encoder's start delay and end padding occur once, not at
// every seam.
//
// Progress. Each input gets an equal share of the bar and of the percentage in the status
// text "Joining %d files into %s...%d%%", whatever its length; within its share progress
// follows the read position in the input. After every frame or PCM block the job pumps the
// front end's messages and reads the dialog's cancel flag.
//
// Outputs. The target is written under a temporary name beside it and takes its name only
// when complete (COutputSet), under the job's target-exists rule: Overwrite (the default: the
// user chose the target) replaces the file or symbolic link there, never what a link points
// to; Rename and Skip never replace anything. On any failure or cancel only the temporary
// file is deleted, so a file that stood at the target stays as it was. A target that names
// an input, a source of the job's run, or something that is not a file (a folder, a device,
// a pipe) is refused before anything is created.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Facts.h"
#include "engine/Progress.h"
#include "engine/output/OutputTarget.h"

namespace corvane {

class CAudioSource;
class COutputRun;
class COutputSet;

class CJoinJob {
public:
    // Empty texts, an empty input list, no tag.
    CJoinJob();
    // Releases the list and the tag.
    virtual ~CJoinJob();
    CJoinJob(const CJoinJob&) = delete;
    CJoinJob& operator=(const CJoinJob&) = delete;

    // Appends one input path (UTF-8).
    void AddFile(const std::string& path);

    // Appends all paths of a list, in order.
    void AddFiles(const std::vector<std::string>& paths);

    // Releases any previous tag, then renders the ID3v2 tag of these fields with
    // BuildId3v2Tag (PieceNaming.h): empty texts give no frame; track is taken as its low 8
    // bits, unsigned, and 0 means no track. When no field is set the job has no tag.
    void MakeTag(const std::string& title, const std::string& artist, const std::string& album,
                 const std::string& year, const std::string& comment, const std::string& genre,
                 int track);
    void MakeTag(const TagFields& tag) {
        MakeTag(tag.title, tag.artist, tag.album, tag.year, tag.comment, tag.genre, tag.track);
    }

    // Writes the tag, then every frame the MP3 reader returns of each input, in list order,
    // into target. dialog may be null (no progress, no cancel). Done when every input was
    // copied and the target was written completely and given its name (PublishedTarget).
    // Otherwise nothing of the job is left and the outcome is Cancelled, or Failed with one of:
    //   "Target file name is same as original file" (nothing created),
    //   "Failed to create file \"<target>\".", "Failed to open file \"<input>\".",
    //   "Failed to read file \"<input>\"." (a read failed, or the input got shorter, while it
    //   was copied), "Failed to write file \"<target>\".", "Target exists and skipped".
    Outcome JoinByFrames(const std::string& target, IProgressDialog* dialog);

    // Decodes every input with the job's audio source, converts it to sampleRate (Hz) and
    // the channels of channelMode (3 mono: one channel, else two) and encodes it with LAME at
    // bitrate (kbps) and channelMode into target, after the tag. Done when every input was
    // joined and the target written completely and given its name. Otherwise nothing of the
    // job is left and the outcome is Cancelled, or Failed with one of:
    //   "Target file name is same as original file" (nothing created),
    //   "Failed to create file \"<target>\".",
    //   "Bad encoding parameter: <rate>Hz, <kbps>kbps, <mode>" (the values as given),
    //   "Failed to open file \"<input>\".", "Failed to write file \"<target>\".",
    //   "Target exists and skipped".
    Outcome JoinByReencoding(const std::string& target, int sampleRate, int bitrate, int channelMode,
                             IProgressDialog* dialog);

    // Chapters (off by default): with write on, a join of two or more inputs adds CHAP and
    // CTOC frames to its tag (Id3Chapters.h; without a tag, a tag holding only them), one
    // chapter per input titled by the input's title (else its file name without extension),
    // or the input's own chapters when its tag has some, each moved to where the input starts
    // on the target's timeline (what a gapless decoder plays), to the millisecond. The tag is
    // written first with the chapters' titles and put over with their times once the frames
    // are written; its length does not change.
    void SetChapters(bool write) { chapters_ = write; }

    // Replaces the decoded source JoinByReencoding reads inputs through (by default a
    // CLibraryAudioSource). The job owns it. For tests that need a source that fails.
    void SetAudioSource(std::unique_ptr<CAudioSource> source);

    // How the complete target takes its name: rule, and the run whose sources no target may
    // replace and whose reserved names count as taken (null: the job's inputs only). run
    // must outlive the joins. Default: Overwrite, no run.
    void SetTargetRule(TargetExists rule, COutputRun* run);

    // Where JoinByReencoding leaves its target: a new file of set (which must outlive the
    // join), complete under its temporary name for the caller to publish (a batch join
    // running rows side by side publishes them in list order). On Done the target is not
    // yet named and PublishedTarget stays empty; on any other outcome the caller discards
    // the set. Null (the default): the join publishes its target itself.
    void SetOutputSet(COutputSet* set) { outputs_ = set; }

    // The name the last successful join gave its target: the target asked for, or under
    // Rename the next free numbered name when a file took it while the job ran.
    const std::string& PublishedTarget() const { return publishedTarget_; }

    const std::vector<std::string>& Inputs() const { return inputs_; }
    // The tag bytes; empty when the job has no tag.
    const std::vector<uint8_t>& TagBytes() const { return tag_; }

private:
    // Refuses a target that is an input or a source of the run, or that cannot be replaced;
    // Done when the join may begin.
    Outcome CheckTarget(const std::string& target) const;
    // Gives the complete output its name under the rule.
    Outcome PublishTarget(COutputSet& outputs);

    std::vector<std::string> inputs_;
    std::vector<uint8_t> tag_;
    bool chapters_ = false;
    std::unique_ptr<CAudioSource> source_;
    TargetExists rule_ = TargetExists::Overwrite;
    COutputRun* run_ = nullptr;
    COutputSet* outputs_ = nullptr;
    std::string publishedTarget_;
};

}  // namespace corvane
