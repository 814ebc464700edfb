// Figures for monitoring, as a file in the Prometheus text format that a
// reader (the node exporter's textfile collector, morva-check) never sees
// half-written: the whole text goes to a temporary file beside it, which
// is then renamed over it. Meant to be written now and then (at a status
// line, at the end of a run), never per record.
#pragma once

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>

struct MetricLabel {
    std::string_view name, value;
};

class MetricsFile {
public:
    enum Type { counter, gauge };

    // Every series of the file carries source="NAME", NAME being the
    // file's name without its directory and without a ".prom" ending, so
    // that the files of many programs merge without duplicate series.
    explicit MetricsFile(std::string path);

    const std::string& path() const { return path_; }
    const std::string& source() const { return source_; }

    // Starts the text anew; its buffer keeps its memory for the next time.
    void clear();
    // Starts a family: its HELP and TYPE lines. The samples that follow
    // belong to it, as the format wants them, together.
    void family(std::string_view name, Type type, std::string_view help);
    // One series of the current family: source, the labels, the value.
    // An integer is written as one, a bool as 0 or 1.
    template <class T>
        requires std::integral<T> || std::floating_point<T>
    void sample(std::initializer_list<MetricLabel> labels, T value)
    {
        if constexpr (std::integral<T>)
            series(labels, (long long)value, 0.0, true);
        else
            series(labels, 0, double(value), false);
    }
    // A family of one series that has no label but the source.
    template <class T>
    void single(std::string_view name, Type type, std::string_view help, T value)
    {
        family(name, type, help);
        sample({}, value);
    }

    // Writes the text to the file, or says why not: then the file is as it
    // was and no temporary file is left beside it.
    bool write(std::string& why);

    const std::string& text() const { return text_; }

private:
    void series(std::initializer_list<MetricLabel> labels, long long n, double x, bool integer);
    void label(std::string_view name, std::string_view value);
    void invalid(std::string_view what, std::string_view name);

    std::string path_, source_, family_, text_;
    std::string bad_;  // the first misuse, reported by write
};
