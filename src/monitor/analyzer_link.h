#pragma once
// Everything the monitor window does to the analyzer window, so that the
// monitor does not depend on the analyzer's code.
namespace orlix {

class AnalyzerLink {
public:
    virtual ~AnalyzerLink() = default;
    // Start: hides the analyzer (creating and loading it hidden if needed).
    virtual void hideAnalyzer() = 0;
    // "DataAnalyzer": shows it normal (creating it if needed).
    virtual void showAnalyzer() = 0;
    // Check mark of its "AlwaysOn&Top" item (loads it hidden if needed).
    virtual bool alwaysOnTopChecked() = 0;
    // The monitor is closing.
    virtual void unloadAnalyzer() = 0;
};

}  // namespace orlix
