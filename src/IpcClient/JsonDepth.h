// How deep the JSON texts exchanged with the main agent may nest. Both ends refuse a text nested
// deeper than kMaxReceivedJsonDepth, so nothing either sends can exhaust the other's stack.
#pragma once

// The deepest nesting of arrays and objects in a received text; the root counts as 1.
constexpr int kMaxReceivedJsonDepth = 512;

// The deepest nesting of a text value that the standard envelope embeds as JSON: the envelope
// adds two levels around it, and the whole must stay within the receiver's bound.
constexpr int kEnvelopeJsonLevels = 2;
constexpr int kMaxEmbeddedJsonDepth = kMaxReceivedJsonDepth - kEnvelopeJsonLevels;
