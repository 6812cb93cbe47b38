// The entry point of locstr-batch.exe and locstr-batch-demo.exe.
#include "batch/batch_main.h"
#include "batch/console.h"

int main(int argc, char** argv) {
    WatchForStop();
    int exitCode = BatchMain(argc, argv);
    RunOver();
    return exitCode;
}
