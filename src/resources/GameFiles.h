#pragma once
// Where the game's files come from: the working folder and the .pk3 archives of baseq3.
class FileSystem;

// The game's file system, created on first use: plain files relative to the
// working directory, then every .pk3 in "baseq3" (name order, later ones
// override earlier ones) with its entries found under "baseq3/". Problems
// are logged as "::FileSystem" lines. It lives until process exit.
struct GameFiles {
    static FileSystem& get();
};
