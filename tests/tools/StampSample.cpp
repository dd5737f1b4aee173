// A small program of the shapes a line table and a symbol table take: namespaces, classes,
// templates, lambdas, an anonymous namespace, inlined header code. Its exit code is whatever
// the calls compute; the checks read its file, they don't run it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/tools/StampSample.h"

namespace stampsample {

class TCounter {
public:
    __attribute__((noinline)) int Add(int v);
    template <class T>
    __attribute__((noinline)) T Scale(T v) const
    {
        return v * static_cast<T>(total_ + 1);
    }

private:
    int total_ = 0;
};

int TCounter::Add(int v)
{
    total_ += StampSampleTwice(v);
    if (total_ > 1000)
        total_ = 0;
    return total_;
}

}  // namespace stampsample

namespace {

__attribute__((noinline)) std::vector<int> Squares(int n)
{
    std::vector<int> out;
    for (int i = 0; i < n; ++i)
        out.push_back(i * i);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    stampsample::TCounter counter;
    int sum = 0;
    for (int v : Squares(argc + 5))
        sum += counter.Add(v);
    auto report = [&](const char* what) { std::printf("%s %d %g\n", what, sum, counter.Scale(1.5)); };
    report(argc > 1 ? argv[1] : "sum");
    return counter.Scale(sum) % 7;
}
