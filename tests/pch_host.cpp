// The precompiled headers' own translation unit; the tests reuse what it builds.
