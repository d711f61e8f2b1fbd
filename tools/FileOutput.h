#pragma once
// Where the results for one file go. A run over a single file writes exactly what it always
// did; over several files each result is labelled with its file: the key "file" first in JSON
// Lines, a heading in text.
#include "tools/JsonWriter.h"

#include <functional>
#include <ostream>
#include <string>

class TFileOutput {
  public:
    // file: null for a run over a single file. json: whether results are JSON.
    TFileOutput(std::ostream& out, std::ostream& err, const std::string* file, bool json);

    // One JSON object whose members members writes, streamed into one document that leaves in
    // one write; nothing is written when members throws.
    void Json(const std::function<void(TJsonWriter&)>& members);
    // A blank line between two labelled texts; nothing in JSON.
    void Separate();
    // The text stream, after the file's heading.
    std::ostream& Text();
    // The output for one setup inside a package: always labelled, the text under the heading
    // "==> FILE : INSIDE <==" (inside already made plain), the JSON with containerJson (an
    // object) as "container" after "file". file must outlive the result.
    [[nodiscard]] TFileOutput Inside(const std::string& file, const std::string& inside,
                                     std::string containerJson) const;
    // diagnostic: the line a single-file run writes to standard error; reason: why, without the
    // program's or the file's name, for the labelled forms. Answers exit.
    int Fail(int exit, const std::string& diagnostic, const std::string& reason);

  private:
    std::ostream& FOut;
    std::ostream& FErr;
    const std::string* FFile;
    bool FJson;
    bool FHeadingWritten = false;
    std::string FHeading;   // in place of the file's name in the text heading and messages
    std::string FContainer; // the "container" object's JSON, after "file"
};
