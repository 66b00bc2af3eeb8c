// start-probe: does nothing. Timing it gives the cost of starting and ending
// a process of ours under Wine, which every Wine figure of the benchmarks
// includes and no native one does.
int main() { return 0; }
